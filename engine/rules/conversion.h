// One conversion's context, made by the driver and passed by reference to
// the line loop, the recognition and the rules: what the caller chose, what
// the loader decided about the source, the cards begun, where they go and
// what the report is told.
#pragma once

#include <cstdint>
#include <string>

#include "card/card_list.h"
#include "convert_options.h"
#include "dates.h"
#include "line_split.h"
#include "progress/progress_meter.h"
#include "report/report_notes.h"
#include "vcard.h"
#include "write/output.h"

namespace vcard::detail {

// What decoding a value depends on beyond the property itself.
struct ValueContext {
  const SourceInfo& source;
  // A line break inside a value is kept as one LF (the iCloud.com form,
  // whose writer escapes it) instead of CR LF and a blank.
  bool keepsValueBreaks = false;
  // The text the values are cut from was validated as UTF-8.
  bool knownUTF8 = false;

  // Room for a value's decoded bytes, kept from value to value so that
  // decoding one allocates nothing.
  mutable std::string decoded;
  // The date the judging of a value read last (judgeField), which the rule
  // that writes it is pointed to.
  mutable TargetDate judgedDate;

  [[nodiscard]] const char* valueBreak() const noexcept {
    return keepsValueBreaks ? "\n" : "\r\n ";
  }
};

struct Conversion {
  Conversion(const ConvertOptions& chosen, const SourceInfo& source, bool knownUTF8, Output& sink,
             ReportNotes& told, ProgressMeter& meter, bool keepClosedCards = false)
      : options(chosen),
        values{source, chosen.target == Target::ICloud, knownUTF8, {}, {}},
        cards(keepClosedCards),
        output(sink),
        notes(told),
        progress(meter) {}
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  const ConvertOptions& options;
  ValueContext values;
  CardList cards;
  Output& output;
  ReportNotes& notes;
  ProgressMeter& progress;
  // Reused from line to line so that a line costs no allocation.
  strutil::LineSplit split;
  std::string text;  // a card's iPhone form, as it is written
};

}  // namespace vcard::detail
