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

// The addresses the about box opens.
inline const QString kImagePageAddress = QStringLiteral("https://example.org/velmio-check/gallery/");
inline const QString kHomePageAddress = QStringLiteral("https://example.org/velmio-check/");
inline const QString kIllustratorAddress = QStringLiteral("https://example.org/velmio-check/illustration/");

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
};

}  // namespace velmio
