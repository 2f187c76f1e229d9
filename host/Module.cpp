#include "host/Module.h"

namespace qw::host {

Module::~Module() {
    if (library) sys::freeLibrary(library);
}

bool Module::load(const std::string& path) {
    // A bare file name means the file in the current folder, as for any other
    // file a command names; the system's own search would look elsewhere.
#if defined(_WIN32)
    const bool bare = path.find_first_of("\\/:") == std::string::npos;
    const std::string here = ".\\";
#else
    const bool bare = path.find('/') == std::string::npos;
    const std::string here = "./";
#endif
    library = sys::loadLibrary(((bare ? here : std::string()) + path).c_str());
    if (!library) {
        errorText = "cannot load module " + path + ": " + sys::lastErrorText();
        return false;
    }
    query = reinterpret_cast<QueryFn>(sys::librarySymbol(library, "Query"));
    initialise = reinterpret_cast<InitialiseFn>(sys::librarySymbol(library, "Initialise"));
    shutdown = reinterpret_cast<ShutdownFn>(sys::librarySymbol(library, "Shutdown"));
    configure = reinterpret_cast<ConfigureFn>(sys::librarySymbol(library, "Configure"));
    extendedInfo = reinterpret_cast<ExtendedInfoFn>(sys::librarySymbol(library, "ExtendedInfo"));
    createRecorder =
        reinterpret_cast<CreateRecorderPluginInterfaceFn>(sys::librarySymbol(library, "CreateRecorderPluginInterface"));
#if !defined(_WIN32)
    headlessDialogs = reinterpret_cast<HeadlessDialogsFn>(sys::librarySymbol(library, "HeadlessDialogs"));
#endif
    if (!query || !initialise || !shutdown) {
        errorText = path + " is not a Quillwave module (Query, Initialise or Shutdown missing)";
        return false;
    }
    return true;
}

namespace {

bool fileExists(const std::string& path) {
    sys::Handle file = sys::openFile(path.c_str(), sys::FileAccess::read);
    if (file == sys::invalidFile()) return false;
    sys::closeFile(file);
    return true;
}

}  // namespace

std::string defaultModulePath() {
#if defined(_WIN32)
    const char* separator = "\\";
#else
    const char* separator = "/";
#endif
    const std::string folder = sys::executableDirectory() + separator;
    const std::string beside = folder + "SQqw4.sqp";
    // An installed tree keeps the module in a library folder of its own,
    // QW_MODULE_DIR_FROM_HOST relative to the host's folder (empty where the
    // two share one folder).
    if (fileExists(beside) || *QW_MODULE_DIR_FROM_HOST == '\0') return beside;
    const std::string installed = folder + QW_MODULE_DIR_FROM_HOST + separator + "SQqw4.sqp";
    return fileExists(installed) ? installed : beside;
}

}  // namespace qw::host
