#include <QApplication>
#include <QProcessEnvironment>
#include <QTextStream>

#include "app/form1.h"
#include "core/app_state.h"
#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/message_box.h"
#include "platform/password_keyring.h"
#include "platform/process_launcher.h"
#include "platform/qt_translations.h"
#include "platform/runtime_dir.h"
#include "platform/sound_on_demand.h"
#include "platform/termination_signals.h"

int main(int argc, char* argv[]) {
    {
        QStringList args;
        for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
        QTextStream out(stdout), err(stderr);
        if (const auto status = velmio::HandleCommandLine(
                args, QProcessEnvironment::systemEnvironment(), out, err))
            return *status;
    }
    // Wayland lets no window place itself or stay on top; the character needs both.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    velmio::ProvideRuntimeDir();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("velmio"));
    app.setQuitOnLastWindowClosed(false);
    velmio::LoadQtJapanese(app);

    velmio::AppState state;
    state.paths = velmio::AppPaths::Locate(QCoreApplication::applicationDirPath());
    state.paths.MakeUserDirs();
    velmio::SystemClock clock;
    velmio::SoundOnDemand sound(velmio::SoundOnDemand::ProgramFolders(QCoreApplication::applicationDirPath()));
    velmio::QtMessageBoxes messages;
    velmio::QtProcessLauncher launcher;
    velmio::SecretServiceKeyring keyring;
    velmio::Services services;
    services.clock = &clock;
    services.sound = &sound;
    services.messages = &messages;
    services.launcher = &launcher;
    services.keyring = &keyring;

    velmio::Form1 form1(state, services);
    if (!form1.Load()) return 0;

    velmio::TerminationSignals termination;
    // Ended from outside (a signal, the session closing, the display gone):
    // nobody may be there to answer a box.
    const auto endedFromOutside = [&form1] { form1.Unload(true); };
    QObject::connect(&termination, &velmio::TerminationSignals::terminationRequested, &form1, endedFromOutside);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1, endedFromOutside);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form1, endedFromOutside);
    QObject::connect(&form1, &velmio::Form1::ended, &app, &QCoreApplication::quit);
    return app.exec();
}
