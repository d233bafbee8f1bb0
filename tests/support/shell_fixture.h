#pragma once

#include <QTest>
#include <memory>

#include "app/form1.h"
#include "character/form4.h"
#include "core/app_state.h"
#include "support/fakes.h"

namespace velmio::test {

// A started program on a program folder of its own, with recording fakes for
// the platform: each test gets a fresh one.
struct ShellFixture {
    explicit ShellFixture(bool withPictures = true) : folder(withPictures) {
        state.paths = AppPaths::ProgramFolder(folder.path());
    }
    ~ShellFixture() {
        if (form1) form1->hide();
    }
    void writeIni(const QString& utf8Text) {
        QString text = utf8Text;
        text.replace(QLatin1String("\n"), QLatin1String("\r\n"));
        folder.write(QStringLiteral("velmio.ini"), Cp932(text));
    }
    // Starts on a settings file with these lines (written as code page 932).
    bool start(const QString& ini) {
        writeIni(ini);
        return start();
    }
    bool start() {
        form1 = std::make_unique<Form1>(state, fakes.services());
        const bool ok = form1->Load();
        QCoreApplication::processEvents();  // the greeting
        return ok;
    }
    Form4* form4() const { return form1->form4(); }

    ProgramFolder folder;
    AppState state;
    FakeServices fakes;
    std::unique_ptr<Form1> form1;
};

}  // namespace velmio::test
