#pragma once
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include "model/protocol_error.h"
#include "monitor/monitor_snapshot.h"

// Counts one error record where it belongs: a protocol fault by its number, a file
// write failure by the file's kind, any other failure (the links') by where.
void CountErrorRecord(MonitorCounters& counters, ProtocolError::Kind kind, int code, int value);

// Every metric of the networks' snapshots in the text exposition format 0.0.4:
// each family once, with the series of every network in turn (null entries have
// none). Every series carries the network's name.
std::string RenderExposition(const std::vector<std::shared_ptr<const MonitorSnapshot>>& snapshots);
// The same, appended to `out`.
void AppendExposition(std::string& out, const std::vector<std::shared_ptr<const MonitorSnapshot>>& snapshots);

// What the exporter serves: the last snapshot of each network. Poll loops publish
// after each tick; a scrape takes the exposition, which is built again only when
// something was published since the last build, outside the publishers' lock, so a
// scrape never stalls a tick.
class MetricsBoard {
public:
    explicit MetricsBoard(size_t networks);
    void publish(size_t network, std::shared_ptr<const MonitorSnapshot> snapshot);
    std::shared_ptr<const MonitorSnapshot> current(size_t network) const;
    // The whole exposition (text format 0.0.4), rebuilt only when something was
    // published since the last build; safe from any thread.
    std::shared_ptr<const std::string> exposition();
    // The same text gzip-compressed (for a scraper that accepts gzip, as Prometheus
    // does: about a tenth of the bytes), compressed once per build.
    std::shared_ptr<const std::string> expositionGzip();

private:
    mutable std::mutex lock;
    std::vector<std::shared_ptr<const MonitorSnapshot>> snapshots;
    bool changed = true;
    std::mutex buildLock;  // one build at a time; later callers take its result
    std::shared_ptr<const std::string> built;
    std::shared_ptr<const std::string> builtGzip;  // of `built`, or null until asked for
};

// `text` as a gzip stream (fast compression).
std::string Gzip(const std::string& text);
