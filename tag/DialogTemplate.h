// The file-information dialog's template: every control with its id, class,
// text, rectangle and style.  The headless dialog manager builds the dialog
// from this table, and the Windows resource script holds the same template.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qw {

constexpr uint32_t fileInfoTemplateId = 101;
constexpr char fileInfoCaption[] = "Quillwave File Information";

// Control ids.
namespace item {
constexpr int32_t artist = 1001;
constexpr int32_t title = 1002;
constexpr int32_t album = 1003;
constexpr int32_t comment = 1004;
constexpr int32_t year = 1007;
constexpr int32_t genre = 1006;
constexpr int32_t wipe = 3;
constexpr int32_t save = 2;
constexpr int32_t path = 1008;
constexpr int32_t tagGroup = 2001;
constexpr int32_t artistLabel = 2002;
constexpr int32_t titleLabel = 2003;
constexpr int32_t albumLabel = 2004;
constexpr int32_t commentLabel = 2005;
constexpr int32_t yearGenreLabel = 2006;
constexpr int32_t fileGroup = -1;
constexpr int32_t close = 8;
constexpr int32_t properties = 1010;
constexpr int32_t status = 1011;
}  // namespace item

const sys::DialogTemplate& fileInfoTemplate();

}  // namespace qw
