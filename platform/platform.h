// The small layer that stands in for the desktop platform's text, file and
// log services. Each job has its own header; this one brings them all.
#pragma once

#include "files.h"          // read, atomic write, append, existence, removal
#include "log.h"            // the process log
#include "owned_cstring.h"  // the owned C string of the C-style interfaces
#include "text_encoding.h"  // encodings and conversion through ICU
#include "utf8.h"           // hand-written UTF-8 checks and conversions
