// Writing a conversion's output: creating the file, serialising each card in
// the target's form (UTF-16LE for the iPhone, vCard 3.0 in UTF-8 for
// iCloud.com, split into numbered files past the cards a file may hold) and
// appending it in large blocks, on disk or in memory.
//
// Once creating the file or appending to it has failed, nothing more is
// written; the driver then reports the failure and removes what was written.
// On disk the conversion writes beside its outputs, under temporary names,
// and puts the files in place only once it has succeeded: an earlier output
// stays whole through a stop, a failure or a killed process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "card/card.h"
#include "convert_options.h"
#include "memory_convert.h"
#include "platform.h"
#include "progress/progress_meter.h"
#include "vcard_report.h"

namespace vcard::detail {

// Where the output's files are made. The conversion chooses the store; the
// writer makes the same calls whichever it is.
class OutputStore {
 public:
  virtual ~OutputStore() = default;
  // The name the store files the output given as path under.
  [[nodiscard]] virtual std::string destination(const std::string& path) const = 0;
  // Creates or replaces the file with exactly these bytes, never half-written.
  [[nodiscard]] virtual bool create(const std::string& name, std::string_view bytes) = 0;
  // Appends to an existing file; a missing one is not created.
  [[nodiscard]] virtual bool append(const std::string& name, std::string_view bytes) = 0;
  // Renames a file, replacing one of the new name.
  [[nodiscard]] virtual bool rename(const std::string& from, const std::string& to) = 0;
  virtual void remove(const std::string& name) = 0;
  // Puts what was written in place once the conversion has succeeded; false
  // when it could not be.
  [[nodiscard]] virtual bool commit() { return true; }
};

// Files beside each other on disk, named by their paths.
class FileStore final : public OutputStore {
 public:
  [[nodiscard]] std::string destination(const std::string& path) const override { return path; }
  [[nodiscard]] bool create(const std::string& name, std::string_view bytes) override;
  [[nodiscard]] bool append(const std::string& name, std::string_view bytes) override;
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override;
  void remove(const std::string& name) override;
};

// Files on disk, each written to a temporary beside its name and put in
// place by commit, all of them together; what is not committed is removed
// with the store. After the commit, the outputs of an earlier run at the
// same place that this run did not write (numbered parts beyond the new
// count, the single file when the cards were split, the parts when not) are
// removed, so that one run's files never stand beside another's.
class StagedFileStore final : public OutputStore {
 public:
  StagedFileStore(std::string output, Target target)
      : output_(std::move(output)), target_(target) {}
  [[nodiscard]] std::string destination(const std::string& path) const override { return path; }
  [[nodiscard]] bool create(const std::string& name, std::string_view bytes) override;
  [[nodiscard]] bool append(const std::string& name, std::string_view bytes) override;
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override;
  void remove(const std::string& name) override;
  [[nodiscard]] bool commit() override;

  // The files the commit put in place, in the order written.
  [[nodiscard]] const std::vector<std::string>& committed() const noexcept { return committed_; }
  // An earlier run's outputs the commit removed.
  [[nodiscard]] const std::vector<std::string>& superseded() const noexcept { return superseded_; }

 private:
  platform::StagedFile* find(const std::string& name);
  std::string output_;
  Target target_;
  std::vector<std::unique_ptr<platform::StagedFile>> files_;
  std::vector<std::string> committed_;
  std::vector<std::string> superseded_;
};

// Files handed to a receiver as they are written, under the one name the
// output has there (and the numbered parts named after it): the path a
// caller passes along names nothing.
class ReceiverStore final : public OutputStore {
 public:
  ReceiverStore(OutputReceiver& receiver, std::string name)
      : receiver_(receiver), name_(std::move(name)) {}
  [[nodiscard]] std::string destination(const std::string& /*path*/) const override {
    return name_;
  }
  [[nodiscard]] bool create(const std::string& name, std::string_view bytes) override;
  [[nodiscard]] bool append(const std::string& name, std::string_view bytes) override {
    return receiver_.append(name, bytes);
  }
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override;
  void remove(const std::string& name) override;
  // Removes every file the receiver still holds from this store: a
  // conversion that ended on the way leaves nothing to save.
  void removeAll();

 private:
  OutputReceiver& receiver_;
  std::string name_;
  std::vector<std::string> held_;  // the files made and not removed, in order
};

// The files whole in memory, in the order they were made.
class FileCollector final : public OutputReceiver {
 public:
  explicit FileCollector(std::vector<OutputFile>* files) : files_(files) {}
  [[nodiscard]] bool create(const std::string& name, std::string_view bytes) override;
  [[nodiscard]] bool append(const std::string& name, std::string_view bytes) override;
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override;
  void remove(const std::string& name) override;

 private:
  OutputFile* find(const std::string& name);
  std::vector<OutputFile>* files_;
};

// The UTF-8 text in UTF-16LE, without a byte-order mark, appended to out;
// false, with nothing appended, when the text is not well-formed UTF-8 (or
// too long to be converted).
bool appendUTF16LE(std::string_view utf8, std::string* out);

class BackgroundWriter;

class Output {
 public:
  // Adaptations of the iCloud.com form go into report when it is not null.
  Output(OutputStore& store, const ConvertOptions& options, ConversionReport* report,
         ProgressMeter* progress = nullptr) noexcept;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output();

  // The iPhone form is encoded and appended on a thread of its own, each time
  // block bytes of cards have gathered: for a large source, whose reading
  // and rules then take a core while the writing takes the other.
  void writeInBackground(std::size_t block) noexcept { backgroundBlock_ = block; }

  // Creates (or replaces) the output at path empty for the target: FF FE for
  // the iPhone, nothing at all for iCloud.com.
  [[nodiscard]] bool create(const std::string& path);
  // Appends to an output that exists already (made by someone else).
  void appendTo(const std::string& path);

  // Hands a finished card to the output; position is its place among the
  // cards begun (from 1), for the report. text is the card's iPhone form
  // when readsText() (the iPhone target encodes the card itself).
  void write(const Card& card, std::string_view text, std::uint64_t position);
  [[nodiscard]] bool readsText() const noexcept { return options_.target == Target::ICloud; }

  // Appends what is still collected and tells the report the numbered files.
  void finish();

  [[nodiscard]] bool failed() const noexcept { return failed_; }
  // Removes what the conversion wrote: the output, or its numbered parts
  // once the cards were split. Removing a missing file is no failure.
  void removeWritten();

 private:
  void collect(const std::string& path, std::string_view bytes);
  void flush();
  void startNextPart();
  void writeICloud(const Card& card, std::string_view text, std::uint64_t position);
  void writeBehind(const Card& card);
  void handOff();

  OutputStore& store_;
  const ConvertOptions& options_;
  ConversionReport* report_;
  ProgressMeter* progress_;  // told while photos are scaled
  bool failed_ = false;
  std::string path_;       // the output (in memory, its name)
  std::string batch_;      // collected bytes, in the output's encoding
  std::string batchPath_;  // the file they go to
  // Cards gathered in their UTF-8 form for the background writer.
  std::size_t backgroundBlock_ = 0;  // 0: encoded and appended here
  std::string behind_;
  std::unique_ptr<BackgroundWriter> writer_;
  // The numbered files of the iCloud.com form.
  std::string current_;      // the file cards go to now
  std::uint64_t part_ = 0;   // its number, 0 while it is the output itself
  std::uint64_t cards_ = 0;  // cards in the current file
  std::vector<OutputPart> parts_;
};

}  // namespace vcard::detail
