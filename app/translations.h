// The toolkit's own texts (the file chooser, the text fields' context menus,
// standard buttons) in Japanese, as every text of the program is.
#pragma once

class QCoreApplication;

// Loads and installs Qt's Japanese translations from the system's translation
// folder, whatever the desktop's language; they stay installed for the life
// of the application. False when Debian's translation package is missing,
// and the toolkit's texts then stay English.
bool installJapaneseTranslations(QCoreApplication& app);
