#pragma once

#include <QHash>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>

// A name server on a loopback address: it answers the A questions about the names it knows,
// each with its TTL, answers their other questions with no records, and stays silent about
// every other name, as a name server that cannot be reached does. It counts the questions.
class FakeNameServer : public QObject {
public:
    explicit FakeNameServer(const QHostAddress& at = QHostAddress(QStringLiteral("127.0.0.1")),
                            quint16 port = 0) {
        socket_.bind(at, port);
        connect(&socket_, &QUdpSocket::readyRead, this, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QNetworkDatagram question = socket_.receiveDatagram();
                const QByteArray answer = answerTo(question.data());
                if (!answer.isEmpty())
                    socket_.writeDatagram(answer, question.senderAddress(), question.senderPort());
            }
        });
    }

    void know(const QString& name, const QHostAddress& address, quint32 ttlSeconds) {
        names_.insert(name.toLower(), {address, ttlSeconds});
    }
    void forget(const QString& name) { names_.remove(name.toLower()); }

    bool bound() const { return socket_.state() == QAbstractSocket::BoundState; }
    quint16 port() const { return socket_.localPort(); }
    // "127.0.0.1:port", as a list of name servers takes it.
    QString serverList() const {
        return socket_.localAddress().toString() + u':' + QString::number(port());
    }
    int questions() const { return questions_.size(); }
    int questionsAbout(const QString& name) const {
        return static_cast<int>(questions_.count(name.toLower()));
    }

private:
    struct Known {
        QHostAddress address;
        quint32 ttl;
    };

    QByteArray answerTo(const QByteArray& question) {
        // The head, one question's name as labels, its type and class.
        if (question.size() < 17)
            return {};
        QStringList labels;
        qsizetype at = 12;
        while (at < question.size() && question[at] != 0) {
            const int length = static_cast<unsigned char>(question[at]);
            if (length > 63 || at + 1 + length >= question.size())
                return {};
            labels.append(QString::fromLatin1(question.mid(at + 1, length)));
            at += 1 + length;
        }
        if (at + 5 > question.size())
            return {};
        const QString name = labels.join(u'.').toLower();
        questions_.append(name);
        const auto known = names_.constFind(name);
        if (known == names_.cend())
            return {};
        const quint16 type = qFromBigEndian<quint16>(question.constData() + at + 1);
        QByteArray answer = question.left(at + 5);
        answer[2] = static_cast<char>(0x81); // an answer to a recursive question
        answer[3] = static_cast<char>(0x80);
        const bool isA = type == 1;
        answer[6] = 0;
        answer[7] = isA ? 1 : 0;
        answer[8] = answer[9] = answer[10] = answer[11] = 0;
        if (isA) {
            char record[16] = {'\xC0', '\x0C', 0, 1, 0, 1};
            qToBigEndian<quint32>(known->ttl, record + 6);
            qToBigEndian<quint16>(4, record + 10);
            qToBigEndian<quint32>(known->address.toIPv4Address(), record + 12);
            answer.append(record, sizeof record);
        }
        return answer;
    }

    QUdpSocket socket_;
    QHash<QString, Known> names_;
    QStringList questions_;
};
