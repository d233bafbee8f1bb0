#pragma once

#include <QDialog>
#include <functional>

#include "about/sys_info.h"
#include "platform/app_paths.h"

namespace velmio {

class ClickableLabel;
class PictureLabel;

// "ﾊﾞｰｼﾞｮﾝ 1.23" for 1.2.3: the patch number follows the minor one directly.
QString VersionText(int major, int minor, int patch);

// The addresses the about box opens: the project has no web pages, so they
// are the sections on who made her in the README installed with her.
struct AboutLinks {
    QString image;        // her picture
    QString makers;       // the notice line
    QString illustrator;  // the illustrator's credit
};
AboutLinks AboutLinksFor(const AppPaths& paths);

struct AboutServices {
    AppPaths paths;                                     // where her picture lies
    std::function<KeyValueTable()> keys;                // empty: SystemInfoKeys()
    ProcessLauncher* launcher = nullptr;                // starts the system information program
    MessageBoxes* messages = nullptr;                   // when it cannot
    std::function<void(const QString&)> openWithShell;  // empty: OpenWithShell
};

// The about box: her picture, the title and version, her description of
// the program, the credits and three links.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(const AboutServices& services, QWidget* parent = nullptr);

private:
    void Open(const QString& address);
    static QImage LoadPicture(const AppPaths& paths);

    AboutServices services_;
    AboutLinks links_;
};

}  // namespace velmio
