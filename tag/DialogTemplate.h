// The file-information dialog's template: every control with its id, class,
// text, rectangle and style.  The headless dialog manager builds the dialog
// from this table, and the Windows resource script holds the same template.
// The caption and the control ids are the ones hosts are given in
// quillwave/dialog.h.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "quillwave/dialog.h"

namespace qw {

constexpr uint32_t fileInfoTemplateId = 101;
constexpr char fileInfoCaption[] = QW_FILE_INFO_CAPTION;

// Control ids, as published to hosts.
namespace item {
constexpr int32_t artist = QW_ITEM_ARTIST;
constexpr int32_t title = QW_ITEM_TITLE;
constexpr int32_t album = QW_ITEM_ALBUM;
constexpr int32_t comment = QW_ITEM_COMMENT;
constexpr int32_t year = QW_ITEM_YEAR;
constexpr int32_t genre = QW_ITEM_GENRE;
constexpr int32_t wipe = QW_ITEM_WIPE;
constexpr int32_t save = QW_ITEM_SAVE;
constexpr int32_t path = QW_ITEM_PATH;
constexpr int32_t tagGroup = QW_ITEM_TAG_GROUP;
constexpr int32_t artistLabel = QW_ITEM_ARTIST_LABEL;
constexpr int32_t titleLabel = QW_ITEM_TITLE_LABEL;
constexpr int32_t albumLabel = QW_ITEM_ALBUM_LABEL;
constexpr int32_t commentLabel = QW_ITEM_COMMENT_LABEL;
constexpr int32_t yearGenreLabel = QW_ITEM_YEAR_GENRE_LABEL;
constexpr int32_t fileGroup = QW_ITEM_FILE_GROUP;
constexpr int32_t close = QW_ITEM_CLOSE;
constexpr int32_t properties = QW_ITEM_PROPERTIES;
constexpr int32_t status = QW_ITEM_STATUS;
}  // namespace item

const sys::DialogTemplate& fileInfoTemplate();

}  // namespace qw
