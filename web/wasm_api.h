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

// Told of a conversion's progress while vcw_convert runs, on its thread: the
// step (0 reading the source, 1 converting cards, 2 scaling a photo down),
// source bytes read of sourceBytes, the place of the card being converted
// (from 1) and the cards written. The counts are doubles, JavaScript's one
// number type, exact far beyond any source that fits in memory.
typedef void (*vcw_progress_fn)(int step, double bytesRead, double sourceBytes, double currentCard,
                                double cardsWritten);

// Has every later conversion tell fn of its progress at most once every
// intervalMs milliseconds (a negative interval counts as 0) and once more at
// its end; a null fn tells nothing. The page hands in a JavaScript function
// made callable from C by addFunction.
VCW_EXPORT void vcw_set_progress(vcw_progress_fn fn, int intervalMs);

#ifdef __cplusplus
}
#endif
