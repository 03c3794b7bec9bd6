#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <map>

// Counters and histograms in Prometheus' text format (version 0.0.4), for a scrape of the
// service. Series are made when first counted, so only label values the service itself chooses
// may be used: never a client's path or name, which would let anyone grow the list.
namespace utq::queryservice {

class CounterFamily {
public:
    CounterFamily(const char* name, const char* help, QStringList labels = {});
    void add(const QStringList& values = {}, double by = 1);
    void write(QByteArray& out) const;

private:
    const char* name_;
    const char* help_;
    QStringList labels_;
    std::map<QStringList, double> series_;
};

class HistogramFamily {
public:
    // `bounds`: the buckets' upper bounds, rising; +Inf is added.
    HistogramFamily(const char* name, const char* help, QStringList labels, QList<double> bounds);
    void observe(const QStringList& values, double value);
    void write(QByteArray& out) const;

private:
    struct Series {
        QList<quint64> counts; // per bucket, not yet cumulative
        quint64 count = 0;
        double sum = 0;
    };

    const char* name_;
    const char* help_;
    QStringList labels_;
    QList<double> bounds_;
    std::map<QStringList, Series> series_;
};

// A gauge read at the scrape.
void writeGauge(QByteArray& out, const char* name, const char* help, double value);
// A counter whose count is kept elsewhere, read at the scrape.
void writeCounter(QByteArray& out, const char* name, const char* help, double value);

} // namespace utq::queryservice
