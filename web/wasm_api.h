// The engine as the web page calls it: plain C functions over convertPieces,
// exported from the WebAssembly module. The page reads the source and keeps
// the output, both through functions it hands in; the module holds only a
// piece of each at a time. The last conversion's document and file list
// stay in the module until the next one or vcw_release, and every pointer
// handed out points into it.
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

// Reads up to count bytes of the source from offset into out: how many (0
// past its end), or -1 when it cannot be read. The page reads a slice of the
// chosen file.
typedef int (*vcw_read_fn)(double offset, unsigned char* out, int count);
// Keeps a block of an output file's bytes, which are gone once it returns:
// the block's number (from 0, one more each time), or -1 when there is no
// room for it. The page makes each block a Blob.
typedef int (*vcw_keep_fn)(const unsigned char* bytes, int size);

// Converts the source of size bytes that read reads for the target (0
// iPhone, 1 iCloud.com) with the carrier choice (0 from the file, 1 docomo,
// 2 au, 3 SoftBank, 4 none), handing the output to keep block by block as
// it is written: a large source is read in pieces and no output is ever
// held whole. Returns vcard-convert's exit code: 0 done, 1 failed, 64 for a
// target or carrier out of range or a function missing (the document then
// says which).
VCW_EXPORT int vcw_convert(double size, int target, int carrier, vcw_read_fn read,
                           vcw_keep_fn keep);

// The document vcard-convert --json prints for the conversion (UTF-8).
VCW_EXPORT const char* vcw_json(void);
// The report's text, "" when there is nothing worth telling.
VCW_EXPORT const char* vcw_report_text(void);

// The files written, in order: name (UTF-8), size, and the numbers of the
// blocks kept that make up its bytes, in order. Blocks kept but named by no
// file belong to a file that was removed again.
VCW_EXPORT int vcw_output_count(void);
VCW_EXPORT const char* vcw_output_name(int i);
VCW_EXPORT double vcw_output_size(int i);
VCW_EXPORT int vcw_output_block_count(int i);
// -1 outside the file's blocks.
VCW_EXPORT int vcw_output_block(int i, int j);

// Lets go of the last conversion; the getters give null and 0 until the next.
VCW_EXPORT void vcw_release(void);
// 1 when the last conversion ran out of memory in a module built without
// unwinding, where that ends the module (vcw_convert does not return): the
// page then says that this is what happened. Always 0 where it unwinds.
VCW_EXPORT int vcw_out_of_memory(void);

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
