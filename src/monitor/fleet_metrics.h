#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include "monitor/monitor_snapshot.h"

// The exporter's view of several networks: the last snapshot each one published.
// A scrape renders every network's metrics with its `network` label and merges
// families of one name, so each name has one HELP and TYPE.
class FleetCollectable : public prometheus::Collectable {
public:
    // An empty name leaves that network's series without the label.
    explicit FleetCollectable(std::vector<std::string> networkNames);
    void publish(size_t network, std::shared_ptr<const MonitorSnapshot> snapshot);
    std::shared_ptr<const MonitorSnapshot> current(size_t network) const;
    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    const std::vector<std::string> names;
    mutable std::mutex lock;
    std::vector<std::shared_ptr<const MonitorSnapshot>> last;
};
