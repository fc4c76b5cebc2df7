#include "savedfiles.h"

#include <QFile>

#include <acl/libacl.h>
#include <linux/fs.h>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace {

QString describeOutcome(const ItemCsv::SaveResult &result)
{
    using ItemCsv::SaveOutcome;
    switch (result.outcome) {
    case SaveOutcome::Saved:
        return QStringLiteral("Saved");
    case SaveOutcome::SavedUnconfirmed:
        return QStringLiteral("Saved unconfirmed: ") + result.error;
    case SaveOutcome::Refused:
        return QStringLiteral("Refused");
    case SaveOutcome::NotAFile:
        return QStringLiteral("Not a file");
    case SaveOutcome::Failed:
        return QStringLiteral("Failed: ") + result.error;
    case SaveOutcome::Damaged:
        return QStringLiteral("Damaged: ") + result.error;
    case SaveOutcome::Cancelled:
        return QStringLiteral("Cancelled");
    case SaveOutcome::Busy:
        return QStringLiteral("Busy");
    case SaveOutcome::Replaced:
        return QStringLiteral("Replaced");
    case SaveOutcome::SavedToReplacedFile:
        return QStringLiteral("Saved to the replaced file");
    case SaveOutcome::BackupFailed:
        return QStringLiteral("No backup in %1: %2").arg(result.place, result.error);
    case SaveOutcome::UnreadableName:
        return QStringLiteral("Unreadable name");
    }
    return {};
}

} // namespace

QString describeSave(const ItemCsv::SaveResult &result)
{
    QStringList description {describeOutcome(result)};
    for (const QString &backup : result.earlierBackups)
        description.append(QStringLiteral("earlier save in ") + backup);
    return description.join(QStringLiteral("; "));
}

QString describeFile(const QString &fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    struct stat status
    {
    };
    if (::stat(name.constData(), &status) != 0)
        return QStringLiteral("<no file>");
    QFile file(fileName);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
    QString acl = QStringLiteral("<none>");
    if (acl_t list = ::acl_get_file(name.constData(), ACL_TYPE_ACCESS)) {
        if (char *text = ::acl_to_any_text(list, nullptr, ',', 0)) {
            acl = QString::fromLocal8Bit(text);
            ::acl_free(text);
        }
        ::acl_free(list);
    }
    int flags = 0;
    if (file.isOpen())
        ::ioctl(file.handle(), FS_IOC_GETFLAGS, &flags);
    return QStringLiteral(
        "bytes: %1, length %2, mode %3, owner %4:%5, %6 link(s), ACL %7, flags %8")
        .arg(QString::fromLatin1(bytes))
        .arg(qint64(status.st_size))
        .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'))
        .arg(status.st_uid)
        .arg(status.st_gid)
        .arg(status.st_nlink)
        .arg(acl)
        .arg(flags & (FS_NODUMP_FL | FS_NOATIME_FL | FS_SYNC_FL | FS_NOCOW_FL), 0, 16);
}
