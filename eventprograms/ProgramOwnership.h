#pragma once

#include "FileDescriptor.h"

#include <QString>

// A file that may hand its contents to a program running as this user, opened once.
// It must belong to the user or to root and be written by nobody else, as cron and
// sudo insist; so must every folder on the way to it, since whoever may write a
// folder may put another file under the name. A folder that others may write is
// allowed with its sticky bit, as sudo allows /tmp: there only a file's owner or the
// folder's may rename or remove it. A link there is followed only when this user,
// root or the folder's owner made it.
struct TrustedFile
{
    // The file as checked (O_PATH, close-on-exec), so that what is run or read is the
    // file that passed and not whatever its name leads to by then.
    FileDescriptor file;
    // Why it may not be trusted, naming the file or folder at fault (a sentence part
    // without its full stop); empty when it may.
    QString refusal;
};

// Walks path from the root one name at a time, following links by itself, so that
// every folder where a name is looked up is checked, and a name changed after its
// check is never followed.
TrustedFile OpenTrusted(const QString &path);
