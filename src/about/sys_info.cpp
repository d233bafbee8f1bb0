#include "about/sys_info.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>
#include <exception>

#include "core/app_state.h"
#include "platform/message_box.h"
#include "platform/process_launcher.h"

namespace velmio {
namespace {

constexpr int kValueBufferSize = 1024;

QString KeyId(RootKey root, const QString& key) {
    return QString::number(static_cast<int>(root)) + QLatin1Char(':') + key.toLower();
}

// Step 2 of the lookup: a folder that must hold the program itself.
QString ToolInFolder(const QString& folder) {
    return folder + QStringLiteral("/MSINFO32.EXE");
}

}  // namespace

void KeyValueTable::SetValue(RootKey root, const QString& key, const QString& name,
                             const Value& value) {
    keys_[KeyId(root, key)].values.insert(name.toLower(), value);
}

void KeyValueTable::DenyAccess(RootKey root, const QString& key) {
    keys_[KeyId(root, key)].fullAccess = false;
}

const KeyValueTable::Key* KeyValueTable::Find(RootKey root, const QString& key) const {
    const auto it = keys_.constFind(KeyId(root, key));
    return it == keys_.constEnd() ? nullptr : &it.value();
}

bool GetKeyValue(const KeyValueTable& table, RootKey root, const QString& key,
                 const QString& valueName, QString& text) {
    const KeyValueTable::Key* k = table.Find(root, key);
    if (!k || !k->fullAccess) {
        text.clear();
        return false;
    }
    const auto it = k->values.constFind(valueName.toLower());
    if (it == k->values.constEnd() || it->data.size() > kValueBufferSize) {
        text.clear();
        return false;
    }
    const QByteArray& data = it->data;
    if (it->type == kTextValue) {
        const int end = data.indexOf('\0');
        text = QFile::decodeName(end < 0 ? data : data.left(end));
    } else if (it->type == kNumberValue) {
        QByteArray four = data.left(4);
        four.append(4 - four.size(), '\0');
        text = QString::number(qFromLittleEndian<qint32>(four.constData()));
    }
    return true;
}

QStringList SystemInfoPrograms() {
    return {QStringLiteral("hardinfo"), QStringLiteral("hardinfo2"), QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor"), QStringLiteral("mate-system-monitor"),
            QStringLiteral("xfce4-taskmanager")};
}

KeyValueTable SystemInfoKeys(const QStringList& programs, const QStringList& searchPaths) {
    KeyValueTable table;
    for (const QString& program : programs) {
        const QString path = QStandardPaths::findExecutable(program, searchPaths);
        if (path.isEmpty()) continue;
        table.SetValue(RootKey::LocalMachine, kMsInfoKey, QStringLiteral("PATH"),
                       {kTextValue, QFile::encodeName(path)});
        break;
    }
    return table;
}

void StartSysInfo(const SysInfoServices& services) {
    bool started = false;
    try {
        const KeyValueTable table = services.keys ? services.keys() : SystemInfoKeys();
        QString path;
        QString folder;
        if (!GetKeyValue(table, RootKey::LocalMachine, kMsInfoKey, QStringLiteral("PATH"), path)) {
            path.clear();
            if (GetKeyValue(table, RootKey::LocalMachine, kMsInfoLocationKey,
                            QStringLiteral("MSINFO"), folder) &&
                QFileInfo(ToolInFolder(folder)).isFile())
                path = ToolInFolder(folder);
        }
        QString error;
        started = !path.isEmpty() && services.launcher &&
                  services.launcher->startDetached(path, {}, &error);
    } catch (const std::exception&) {
        started = false;
    }
    if (!started && services.messages)
        services.messages->show(services.owner, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"), 0,
                                kAppTitle);
}

}  // namespace velmio
