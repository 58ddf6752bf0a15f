#pragma once

// What every process that shows the program's windows sets up first.

class QApplication;

namespace relan::gui {

// The application's title, version and window icon, and Qt's own Russian
// texts (file, print and message dialogs, standard buttons). False when Qt's
// Russian translation is not installed: the dialogs then speak English,
// everything else is as usual.
bool setUpApplication(QApplication& app);

} // namespace relan::gui
