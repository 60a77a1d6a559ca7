// The look shared by both windows.
#pragma once

class QApplication;
class QIcon;

// Prefers the Japanese cut of the CJK fonts, so kanji take their Japanese
// glyph forms, applies the application's style sheet and sets its icon.
void applyAppearance(QApplication& app);

// Registers the pictures built into the program (icons); safe to call often.
void ensureResources();

// The program's icon (the menu entry's scalable picture, built into the
// program); null where the toolkit's SVG support is not installed.
[[nodiscard]] QIcon applicationIcon();

// The style sheet on its own (also used by the screenshot tool).
[[nodiscard]] const char* appStyleSheet();
