#pragma once
// Qt's own texts (the standard buttons of a question, the file dialog) in Chinese, like every
// text of the dialog, whatever the user's locale: otherwise a Chinese question would offer
// "Yes" and "No".
class QCoreApplication;

// Loads qtbase_zh_CN from Qt's translations folder into `application`; false when it is missing.
bool InstallQtChineseTranslations(QCoreApplication& application);
