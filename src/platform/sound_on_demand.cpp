#include "platform/sound_on_demand.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibrary>
#include <cstdio>

namespace velmio {

SoundOnDemand::SoundOnDemand(QStringList folders) : folders_(std::move(folders)) {}

SoundOnDemand::~SoundOnDemand() = default;

QStringList SoundOnDemand::ProgramFolders(const QString& bin) {
    return {bin, bin + QStringLiteral("/../" VELMIO_MODULE_DIR)};
}

SoundOutput* SoundOnDemand::output() const {
    if (tried_) return output_.get();
    tried_ = true;
    QString why = QStringLiteral("velmio-sound.so is missing");
    for (const QString& folder : folders_) {
        const QString path = folder + QStringLiteral("/velmio-sound.so");
        if (!QFileInfo::exists(path)) continue;
        // Never unloaded: Qt Multimedia keeps threads and objects to the end.
        QLibrary module(path);
        module.setLoadHints(QLibrary::PreventUnloadHint);
        using Make = SoundOutput* (*)();
        if (const auto make = reinterpret_cast<Make>(module.resolve("velmio_make_sound_output"))) {
            output_.reset(make());
            return output_.get();
        }
        why = module.errorString();
    }
    std::fprintf(stderr, "velmio: sounds stay silent (%s)\n", qPrintable(why));
    return nullptr;
}

void SoundOnDemand::play(const QString& path) {
    if (SoundOutput* o = output()) {
        o->play(path);
    } else {
        QApplication::beep();  // as the player does without a device
    }
}

bool SoundOnDemand::hasDevice() const {
    const SoundOutput* o = output();
    return o && o->hasDevice();
}

}  // namespace velmio
