// Inside the platform text library: the objects behind the handles.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/text_raster.h"
#include "platform/winapi.h"

namespace tob::platform::gdi {

struct FontObject {
    LOGFONTA logfont{};
    std::unique_ptr<RasterFont> raster;
    bool stock = false;  // the default font: never deleted
    HGDIOBJ handle = nullptr;
    // Guarded by the registry's lock: how many contexts have it selected, and
    // whether DeleteObject came while some did.
    int selections = 0;
    bool delete_pending = false;
};

struct DeviceContext {
    TobBitmap bitmap{};
    std::vector<uint8_t> colours;  // the bitmap's colour table, copied
    std::shared_ptr<FontObject> font;
    COLORREF text_colour = 0x000000;
    COLORREF background_colour = 0xFFFFFF;
    int background_mode = TOB_OPAQUE;
};

// A font's face name in UTF-8: read as GBK for the GB2312 character set (134),
// else as CP932.
std::string face_name_utf8(const LOGFONTA& lf);

// The object behind a handle, or null when the handle is not a live one.
std::shared_ptr<FontObject> font_of(HGDIOBJ h);
DeviceContext* context_of(HDC h);
// The context's font: the default font until another is selected.
std::shared_ptr<FontObject> selected_font(DeviceContext& dc);

}  // namespace tob::platform::gdi
