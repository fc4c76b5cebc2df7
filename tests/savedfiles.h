#pragma once

#include "csvcommands.h"

#include <QByteArray>
#include <QString>

// What the tests of Save compare, shared by the tests and the helper program that saves as
// another user or under a limit.

// "Saved", "Failed: No space left on device", "Damaged: Input/output error": how a save ended,
// with its reason, then "; earlier save in …" for each backup of the file it names.
QString describeSave(const ItemCsv::SaveResult &result);

// Everything that makes a file what it is, apart from its inode: "bytes: ..., length 15, mode
// 0660, owner 0:100, 1 link, ACL user::rw-,user:daemon:rw-,group::---,mask::rw-,other::---,
// flags 40" (the inode flags that a save keeps, in hexadecimal).
QString describeFile(const QString &fileName);
