#include "savedfiles.h"

#include <QFile>

#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/stat.h>

QString describeSave(const ItemCsv::SaveResult &result)
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
    }
    return {};
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
    return QStringLiteral("bytes: %1, length %2, mode %3, owner %4:%5, %6 link(s), ACL %7")
        .arg(QString::fromLatin1(bytes))
        .arg(qint64(status.st_size))
        .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'))
        .arg(status.st_uid)
        .arg(status.st_gid)
        .arg(status.st_nlink)
        .arg(acl);
}
