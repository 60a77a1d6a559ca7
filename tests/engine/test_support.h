// Helpers shared by the engine tests: a conversion in one call, the expected
// output form (FF FE, UTF-16LE, CR LF) and its line-by-line comparison,
// photos as Base64.
// Folders, files and the alert texts are in tests/support.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "engine_texts.h"
#include "files.h"
#include "memory_convert.h"
#include "platform.h"
#include "vcard_report.h"

namespace enginetest {

// UTF-8 text with LF line ends in the output file's form: FF FE, then the
// text in UTF-16LE with every LF written as CR LF.
inline std::string outputForm(const std::string& utf8) {
  std::string crlf;
  for (char c : utf8) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  auto text = platform::fromUTF8(crlf);
  std::string bytes = "\xFF\xFE";
  if (text) bytes += platform::encode(*text, platform::Encoding::UTF16LE).value_or("");
  return bytes;
}

// The lines of an output file (mark dropped, decoded, cut at CR LF); the
// last element is what follows the last CR LF, empty for a well-formed file.
inline std::vector<std::string> outputLines(const std::string& bytes) {
  std::vector<std::string> lines;
  const std::string body = bytes.size() >= 2 ? bytes.substr(2) : std::string();
  const std::string utf8 = platform::toUTF8(
      platform::decodeLossy(body.data(), body.size(), platform::Encoding::UTF16LE));
  std::size_t start = 0;
  for (std::size_t at; (at = utf8.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(utf8.substr(start, at - start));
  lines.push_back(utf8.substr(start));
  return lines;
}

// Reports the first differing line ("line N differs") and then checks the
// bytes themselves, mark and line ends included.
inline void expectSameOutput(const std::string& actual, const std::string& expected) {
  ASSERT_GE(actual.size(), 2U) << "output file lacks its byte-order mark";
  EXPECT_EQ(actual.substr(0, 2), "\xFF\xFE");
  const auto got = outputLines(actual);
  const auto want = outputLines(expected);
  for (std::size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
    const std::string g = i < got.size() ? got[i] : "<missing>";
    const std::string w = i < want.size() ? want[i] : "<missing>";
    if (g != w) {
      ADD_FAILURE() << "line " << (i + 1) << " differs:\n  expected: " << w
                    << "\n  actual:   " << g;
      break;
    }
  }
  EXPECT_TRUE(actual == expected) << "output bytes differ (" << actual.size() << " vs "
                                  << expected.size() << " bytes)";
}

// A conversion as a test reads it.
struct Converted {
  std::array<std::string, 2> result;  // the alert and the log text
  vcard::ConversionReport report;
  // Each file written as UTF-8 text with its CR LF: the iPhone form's FF FE
  // and UTF-16LE undone, the iCloud.com form as it is.
  std::vector<std::string> texts;
};

// Converts the source's bytes in memory for target, in one call.
inline Converted convert(std::string_view source, vcard::Target target = vcard::Target::IPhone) {
  vcard::ConvertOptions options;
  options.target = target;
  vcard::MemoryConversion conversion = vcard::convertBytes(source, options);
  Converted converted{conversion.result, std::move(conversion.report), {}};
  for (const vcard::OutputFile& file : conversion.outputs) {
    if (target == vcard::Target::ICloud || !file.bytes.starts_with("\xFF\xFE")) {
      converted.texts.push_back(file.bytes);
      continue;
    }
    converted.texts.push_back(platform::toUTF8(platform::decodeLossy(
        file.bytes.data() + 2, file.bytes.size() - 2, platform::Encoding::UTF16LE)));
  }
  return converted;
}

// Text with LF line ends written with CR LF, as the output has them.
inline std::string crlf(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Base64 without line breaks.
inline std::string base64(const std::string& bytes) {
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  auto at = [&bytes](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6)
      out += kAlphabet[(group >> shift) & 0x3F];
  }
  if (i + 1 == bytes.size()) {
    const unsigned group = at(i) << 16;
    out = out + kAlphabet[group >> 18] + kAlphabet[(group >> 12) & 0x3F] + "==";
  } else if (i + 2 == bytes.size()) {
    const unsigned group = at(i) << 16 | at(i + 1) << 8;
    out = out + kAlphabet[group >> 18] + kAlphabet[(group >> 12) & 0x3F] +
          kAlphabet[(group >> 6) & 0x3F] + "=";
  }
  return out;
}

// Base64 folded into lines of 72 characters behind a blank, as exporters
// write a photo.
inline std::string foldedBase64(const std::string& bytes) {
  const std::string text = base64(bytes);
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 72)
    out += "\r\n " + text.substr(i, 72);
  return out;
}

}  // namespace enginetest
