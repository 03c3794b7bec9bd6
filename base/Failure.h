#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

namespace utq {

// A step that could not be done (a file, a command, a service). It is reported to the user,
// and the program carries on.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

using FailureReporter = std::function<void(const QString& message)>;

} // namespace utq
