#pragma once
#include <memory>
#include <string>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include "monitor/metrics.h"

// The exporter's view of several networks, each publishing into its own
// SnapshotCollectable. A scrape renders every network's metrics with its `network`
// label and merges families of one name, so each name has one HELP and TYPE.
class FleetCollectable : public prometheus::Collectable {
public:
    // One source per network, with its label; an empty label leaves its series without one.
    FleetCollectable(std::vector<std::shared_ptr<SnapshotCollectable>> sources, std::vector<std::string> labels);
    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    const std::vector<std::shared_ptr<SnapshotCollectable>> sources;
    const std::vector<std::string> labels;
};
