#include "admin/AdminPassword.h"

#include "BuildSettings.h"

namespace utq::admin {

QString expectedPassword() {
    QString password;
    for (const int code : build::kAdminPasswordCodes)
        password = password + QString(QChar(code));
    return password;
}

} // namespace utq::admin
