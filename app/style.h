// The look shared by both windows.
#pragma once

class QApplication;

// Prefers the Japanese cut of the CJK fonts, so kanji take their Japanese
// glyph forms, and applies the application's style sheet.
void applyAppearance(QApplication& app);

// The style sheet on its own (also used by the screenshot tool).
[[nodiscard]] const char* appStyleSheet();
