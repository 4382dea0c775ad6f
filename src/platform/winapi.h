// The platform text library (libtob_winapi.so): fonts, device contexts over
// bitmaps, and text output and measuring under the names and records the
// engine's games were written against. Exported with C linkage so that the
// engine reaches them through its dynamic-linkage slots, which a hook library
// may rewrite. Every function is safe to call from several threads at once
// (one device context at a time per thread).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t BOOL;
typedef int32_t LONG;
typedef uint8_t BYTE;
typedef uint32_t UINT;
typedef uint32_t DWORD;
#ifdef __cplusplus
typedef char16_t WCHAR;
#else
typedef uint16_t WCHAR;
#endif
typedef uint32_t COLORREF;  // 0x00BBGGRR

typedef void* HANDLE;  // a file handle: the POSIX descriptor, cast
typedef void* HGDIOBJ;
typedef struct TobFontObject* HFONT;
typedef struct TobDeviceContext* HDC;

#define TOB_LF_FACESIZE 32

typedef struct LOGFONTA {
    LONG lfHeight;       // > 0 cell height, < 0 em height, 0 the default (16)
    LONG lfWidth;        // not used: glyphs keep their own proportions
    LONG lfEscapement;   // tenths of a degree, counter-clockwise
    LONG lfOrientation;  // taken equal to the escapement
    LONG lfWeight;       // 600 and above is bold
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[TOB_LF_FACESIZE];  // CP932, zero-terminated
} LOGFONTA;

typedef struct SIZE {
    LONG cx;
    LONG cy;
} SIZE;

#ifdef __cplusplus
static_assert(sizeof(LOGFONTA) == 60);
static_assert(offsetof(LOGFONTA, lfEscapement) == 8);
static_assert(offsetof(LOGFONTA, lfWeight) == 16);
static_assert(offsetof(LOGFONTA, lfItalic) == 20);
static_assert(offsetof(LOGFONTA, lfCharSet) == 23);
static_assert(offsetof(LOGFONTA, lfQuality) == 26);
static_assert(offsetof(LOGFONTA, lfFaceName) == 28);
static_assert(sizeof(SIZE) == 8);
#endif

enum {
    TOB_TRANSPARENT = 1,
    TOB_OPAQUE = 2,
    TOB_OBJ_FONT = 6,
    TOB_FW_BOLD = 700,
    TOB_SHIFTJIS_CHARSET = 128,
    TOB_NONANTIALIASED_QUALITY = 3,
    TOB_FIXED_PITCH = 1,
};
#define TOB_CLR_INVALID 0xFFFFFFFFu

// File access, dispositions, flags and attributes, with their Win32 values.
#define TOB_GENERIC_READ 0x80000000u
#define TOB_GENERIC_WRITE 0x40000000u
#define TOB_GENERIC_ALL 0x10000000u
#define TOB_FILE_SHARE_READ 0x1u
enum {
    TOB_CREATE_NEW = 1,
    TOB_CREATE_ALWAYS = 2,
    TOB_OPEN_EXISTING = 3,
    TOB_OPEN_ALWAYS = 4,
    TOB_TRUNCATE_EXISTING = 5,
};
#define TOB_FILE_ATTRIBUTE_READONLY 0x1u
#define TOB_FILE_ATTRIBUTE_HIDDEN 0x2u
#define TOB_FILE_ATTRIBUTE_DIRECTORY 0x10u
#define TOB_FILE_ATTRIBUTE_NORMAL 0x80u
#define TOB_FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define TOB_INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define TOB_INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// A bitmap a device context draws into. `bits` is the first byte of the top
// row; `stride` the signed byte distance from a row to the one below it
// (negative for bitmaps stored bottom-up). Depths 1, 4, 8, 16 (5-5-5), 24 and
// 32 (0x00RRGGBB, the top byte written 0). Depths up to 8 carry `colour_count`
// table entries of blue, green, red, reserved. Pixels within a byte run from
// the most significant bits.
typedef struct TobBitmap {
    void* bits;
    int32_t width;
    int32_t height;
    int64_t stride;
    int32_t depth;
    const uint8_t* colours;
    int32_t colour_count;
} TobBitmap;

// Makes a device context over `bitmap` (which must outlive it): text colour
// black, background white and opaque, the default font selected. A bitmap of
// zero size (bits may be null) serves for measuring. Null on a bad description.
HDC tob_create_bitmap_dc(const TobBitmap* bitmap);
// Deletes a device context; the font selected into it stays as it is.
BOOL tob_delete_dc(HDC dc);

// Opens or creates a file. `name` is a host path in this platform's code page
// (UTF-8); a component that does not exist as written is matched ignoring case,
// as the engine's script paths are. Directories do not open. The handle is the
// file's descriptor (close it with CloseHandle or close()); failure gives
// TOB_INVALID_HANDLE_VALUE with errno telling why. Security attributes, share
// mode and template are accepted and ignored.
HANDLE CreateFileA(const char* name, DWORD access, DWORD share_mode, void* security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
// The attributes of a file or directory named as CreateFileA takes names, or
// TOB_INVALID_FILE_ATTRIBUTES when there is none.
DWORD GetFileAttributesA(const char* name);
BOOL CloseHandle(HANDLE handle);

// Fonts are reference-counted objects behind checked handles that are never
// reused: a stale handle fails. A face name is read as GBK when lfCharSet is
// 134, else as CP932. DeleteObject of a font still selected into a device
// context takes effect once no context has it selected.
HFONT CreateFontIndirectA(const LOGFONTA* font);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
int GetObjectA(HGDIOBJ object, int size, void* out);

COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size);
BOOL GetTextExtentPoint32W(HDC dc, const WCHAR* text, int length, SIZE* size);
BOOL TextOutA(HDC dc, int x, int y, const char* text, int length);
BOOL TextOutW(HDC dc, int x, int y, const WCHAR* text, int length);

#ifdef __cplusplus
}
#endif
