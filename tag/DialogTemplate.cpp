#include "tag/DialogTemplate.h"

namespace qw {

namespace {

using sys::ControlClass;
namespace s = sys::style;

constexpr uint32_t textField = s::autoHScroll | s::border | s::tabStop;

const sys::DialogItemTemplate fileInfoItems[] = {
    {item::artist, ControlClass::edit, "", 66, 32, 165, 12, textField},
    {item::title, ControlClass::edit, "", 66, 46, 165, 12, textField},
    {item::album, ControlClass::edit, "", 66, 60, 165, 12, textField},
    {item::comment, ControlClass::edit, "", 66, 75, 165, 12, textField},
    {item::year, ControlClass::edit, "", 66, 90, 32, 12, textField},
    {item::genre, ControlClass::comboBox, "", 111, 90, 120, 84,
     s::dropDownList | s::noIntegralHeight | s::vScroll | s::tabStop},
    {item::wipe, ControlClass::button, "Wipe Tag", 130, 106, 50, 13, s::pushButton | s::tabStop},
    {item::save, ControlClass::button, "Save", 181, 106, 50, 13, s::pushButton | s::tabStop},
    {item::path, ControlClass::edit, "", 7, 6, 229, 12, s::readOnly | s::border},
    {item::tagGroup, ControlClass::button, "TAG Info", 7, 20, 229, 103, s::groupBox},
    {item::artistLabel, ControlClass::staticText, "Artist Name", 22, 34, 38, 8, s::leftText},
    {item::titleLabel, ControlClass::staticText, "Song Title", 28, 48, 32, 8, s::leftText},
    {item::albumLabel, ControlClass::staticText, "Album Title", 24, 62, 36, 8, s::leftText},
    {item::commentLabel, ControlClass::staticText, "Comment", 29, 77, 31, 8, s::leftText},
    {item::yearGenreLabel, ControlClass::staticText, "Year / Genre", 18, 92, 42, 8, s::leftText},
    {item::fileGroup, ControlClass::button, "File Info", 7, 124, 229, 50, s::groupBox},
    {item::close, ControlClass::button, "Close", 186, 179, 50, 14, s::defPushButton | s::tabStop},
    {item::properties, ControlClass::edit, "", 12, 133, 219, 37, s::multiLine | s::readOnly | s::vScroll | s::border},
    {item::status, ControlClass::staticText, "InfoText here!", 12, 108, 112, 8, s::centerText},
};

// A pop-up with caption and system menu, not visible until set up.
const sys::DialogTemplate fileInfo = {
    fileInfoCaption,
    "Arial",
    8,
    243,
    200,
    s::popup | s::caption | s::sysMenu | s::modalFrame | s::clipSiblings,
    fileInfoItems,
    uint32_t(sizeof fileInfoItems / sizeof fileInfoItems[0]),
};

}  // namespace

const sys::DialogTemplate& fileInfoTemplate() { return fileInfo; }

}  // namespace qw
