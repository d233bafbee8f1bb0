#include "support/fakes.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include "platform/cp932.h"

namespace velmio::test {

std::unique_ptr<QDialog> ScriptedDialogs::make(QWidget* owner, const char* name) {
    auto dialog = std::make_unique<QDialog>(owner);
    dialog->setObjectName(QLatin1String(name));
    QDialog* d = dialog.get();
    QTimer::singleShot(0, d, [this, d] {
        ++opened;
        if (whileOpen) whileOpen(*d);
        if (d->isVisible()) d->reject();  // unless the script closed it
    });
    return dialog;
}

std::unique_ptr<QDialog> ScriptedDialogs::CreateSettingsDialog(QWidget* owner) {
    return make(owner, "Form3");
}

std::unique_ptr<QDialog> ScriptedDialogs::CreateAboutBox(QWidget* owner) {
    return make(owner, "frmAbout");
}

ProgramFolder::ProgramFolder(bool withPictures) {
    const QDir dist(QStringLiteral(VELMIO_DIST_DIR));
    QStringList files = {QStringLiteral("velmio.tbl")};
    if (withPictures)
        files << QStringLiteral("velmio.dat") << QStringLiteral("velmio_s.dat") << QStringLiteral("velmio@2x.dat")
              << QStringLiteral("velmio_s@2x.dat");
    for (const QString& f : files) QFile::copy(dist.filePath(f), dir_.filePath(f));
}

void ProgramFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QByteArray ProgramFolder::read(const QString& name) const {
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Cp932(const QString& text) { return EncodeCp932(text); }

}  // namespace velmio::test
