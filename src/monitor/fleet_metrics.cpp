#include "monitor/fleet_metrics.h"

#include <map>

FleetCollectable::FleetCollectable(std::vector<std::shared_ptr<SnapshotCollectable>> sources,
                                   std::vector<std::string> labels)
    : sources(std::move(sources)), labels(std::move(labels)) {}

std::vector<prometheus::MetricFamily> FleetCollectable::Collect() const {
    std::vector<prometheus::MetricFamily> out;
    std::map<std::string, size_t> byName;
    for (size_t k = 0; k < sources.size(); ++k) {
        for (prometheus::MetricFamily& family : sources[k]->Collect()) {
            if (k < labels.size() && !labels[k].empty())
                for (prometheus::ClientMetric& metric : family.metric)
                    metric.label.insert(metric.label.begin(), {"network", labels[k]});
            const auto [at, fresh] = byName.emplace(family.name, out.size());
            if (fresh) {
                out.push_back(std::move(family));
            } else {
                auto& into = out[at->second].metric;
                into.insert(into.end(), std::make_move_iterator(family.metric.begin()),
                            std::make_move_iterator(family.metric.end()));
            }
        }
    }
    return out;
}
