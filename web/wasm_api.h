// The engine as the web page calls it: plain C functions over convertBytes,
// exported from the WebAssembly module. The last conversion stays in the
// module until the next one or vcw_release, and every pointer handed out
// points into it: the page copies what it needs before converting again.
#pragma once

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define VCW_EXPORT EMSCRIPTEN_KEEPALIVE
#else
#define VCW_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Converts length bytes for the target (0 iPhone, 1 iCloud.com) with the
// carrier choice (0 from the file, 1 docomo, 2 au, 3 SoftBank, 4 none).
// Returns vcard-convert's exit code: 0 done, 1 failed, 64 for a target or
// carrier out of range or bytes missing (the document then says which).
VCW_EXPORT int vcw_convert(const unsigned char* bytes, unsigned long length, int target,
                           int carrier);

// The document vcard-convert --json prints for the conversion (UTF-8).
VCW_EXPORT const char* vcw_json(void);
// The report's text, "" when there is nothing worth telling.
VCW_EXPORT const char* vcw_report_text(void);

// The files written, in order: name (UTF-8), bytes and their number.
VCW_EXPORT int vcw_output_count(void);
VCW_EXPORT const char* vcw_output_name(int i);
VCW_EXPORT const unsigned char* vcw_output_data(int i);
VCW_EXPORT unsigned long vcw_output_size(int i);

// Lets go of the last conversion; the getters give null and 0 until the next.
VCW_EXPORT void vcw_release(void);

#ifdef __cplusplus
}
#endif
