#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include "model/protocol_error.h"
#include "monitor/monitor_snapshot.h"

// Counts one error record where it belongs: a protocol fault by its number, a file
// write failure by the file's kind, any other failure (the links') by where.
void CountErrorRecord(MonitorCounters& counters, ProtocolError::Kind kind, int code, int value);

// Every metric the monitor exposes, from one snapshot.
std::vector<prometheus::MetricFamily> RenderMetrics(const MonitorSnapshot& snapshot);

// The exporter's view: the last published snapshot. The poll loop publishes after
// each tick; a scrape renders on the exporter's thread from its own reference, so
// it never holds the lock while it works and never stalls a tick.
class SnapshotCollectable : public prometheus::Collectable {
public:
    void publish(std::shared_ptr<const MonitorSnapshot> snapshot);
    std::shared_ptr<const MonitorSnapshot> current() const;
    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    mutable std::mutex lock;
    std::shared_ptr<const MonitorSnapshot> last;
};
