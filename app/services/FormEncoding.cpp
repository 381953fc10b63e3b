#include "app/services/FormEncoding.h"

#include <QUrl>
#include <QtGlobal>

QByteArray formValue(const QString& text)
{
    return QUrl::toPercentEncoding(text);
}

QByteArray formAddress(const QString& address)
{
    return QUrl::toPercentEncoding(address, "@");
}

QString userEmailAddress()
{
    return qEnvironmentVariable("EMAIL");
}
