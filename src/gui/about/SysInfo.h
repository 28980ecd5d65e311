// Starting the platform's system-information tool from the About box.
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace zb32 {

// Roots of the keys GetKeyValue reads. On Windows the registry roots; elsewhere the root is
// not looked at and a key names programs looked for on the PATH.
enum class KeyRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

// Reads the value subKeyRef of a key. False with keyVal emptied when the key cannot be opened;
// true when it opens, with keyVal set to the value's text (up to the first NUL) or, when the key
// lacks the value, left as the caller passed it.
// Off Windows keyName is a list of program names separated by ";" and the key opens when one of
// them is found on the PATH; its value "PATH" is that program's full path, "FOLDER" its folder.
bool GetKeyValue(KeyRoot keyRoot, const QString& keyName, const QString& subKeyRef, QString& keyVal);

// Where the tool is looked for, in order: the value of a key is the program itself, or, when
// fileName is given, the folder that holds fileName.
struct SysInfoSource
{
    KeyRoot root;
    QString keyName;
    QString valueName;
    QString fileName;
};
QList<SysInfoSource> sysInfoSources();

// The message when no tool can be started.
QString sysInfoMissingText();

// Starts the first tool found, not waiting for it; when none starts, tells the operator.
// True when a tool was started.
bool StartSysInfo(QWidget* parent);

} // namespace zb32
