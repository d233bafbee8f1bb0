#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace velmio {

class MessageBoxes;
class ProcessLauncher;

// Root keys of the table below.
enum class RootKey { LocalMachine };

// Types of the values, numbered as the Windows registry numbers them.
enum : quint32 { kTextValue = 1, kBinaryValue = 3, kNumberValue = 4 };

// Keys and values as the Windows registry holds them. On Linux there is no
// registry: SystemInfoKeys() fills one from the programs on the PATH, and
// tests build their own.
class KeyValueTable {
public:
    struct Value {
        quint32 type = kTextValue;
        QByteArray data;
    };
    void SetValue(RootKey root, const QString& key, const QString& name, const Value& value);
    // The key exists but refuses full access.
    void DenyAccess(RootKey root, const QString& key);

    struct Key {
        bool fullAccess = true;
        QHash<QString, Value> values;  // names in lower case
    };
    const Key* Find(RootKey root, const QString& key) const;

private:
    QHash<QString, Key> keys_;  // root and name in lower case
};

// Where Windows keeps its system information tool.
inline const QString kMsInfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
inline const QString kMsInfoLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");

// Reads one value as text. A text value ends at its first zero byte, a number
// value becomes its decimal text, any other type leaves text as it was.
// A key that is missing or refuses full access, a missing value and a value
// longer than 1,024 bytes give false and empty text.
bool GetKeyValue(const KeyValueTable& table, RootKey root, const QString& key,
                 const QString& valueName, QString& text);

// System information programs of the Linux desktops, best first.
QStringList SystemInfoPrograms();

// The table as this system offers it: the first of the programs found on the
// PATH (or in searchPaths when given) stands where Windows names its tool.
KeyValueTable SystemInfoKeys(const QStringList& programs = SystemInfoPrograms(),
                             const QStringList& searchPaths = {});

struct SysInfoServices {
    std::function<KeyValueTable()> keys;  // read afresh at every start
    ProcessLauncher* launcher = nullptr;
    MessageBoxes* messages = nullptr;
    QWidget* owner = nullptr;  // of the message box
};

// Starts the system information program, or says that none can be used.
void StartSysInfo(const SysInfoServices& services);

}  // namespace velmio
