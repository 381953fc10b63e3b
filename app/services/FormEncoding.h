#pragma once
// Pieces of the form bodies that the feedback and invitation posts send.

#include <QByteArray>
#include <QString>

// `text` as UTF-8 with everything but ASCII letters, digits and "-._~"
// percent-encoded, so no "&", "=" or "+" in it can split or change the form.
QByteArray formValue(const QString& text);
// An e-mail address as a form value: encoded like formValue, except that "@"
// stays as it is (it means nothing special in a form), so a plain address
// such as a.b-c_d@example.com is sent byte for byte as typed.
QByteArray formAddress(const QString& address);

// The user's own e-mail address: the EMAIL environment variable (the common
// convention of mail tools), or empty when it is not set.
QString userEmailAddress();
