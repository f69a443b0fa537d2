// The application object. Its one addition to QApplication: an error that a
// handler lets through ends that handler, is shown in the error box, and the
// program goes on with the window where it happened still open.
#pragma once

#include <QApplication>
#include <QString>

namespace shell {

class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The program folder path: the working folder followed by one separator, the
// start of every file name the program builds. Recomputed at each activation
// of the main window.
const QString& programFolder();
void setProgramFolder(const QString& path);

}  // namespace shell
