#include "monitor/fleet_metrics.h"

#include <map>

#include "monitor/metrics.h"

FleetCollectable::FleetCollectable(std::vector<std::string> networkNames)
    : names(std::move(networkNames)), last(names.size()) {}

void FleetCollectable::publish(size_t network, std::shared_ptr<const MonitorSnapshot> snapshot) {
    std::lock_guard<std::mutex> hold(lock);
    last.at(network) = std::move(snapshot);
}

std::shared_ptr<const MonitorSnapshot> FleetCollectable::current(size_t network) const {
    std::lock_guard<std::mutex> hold(lock);
    return network < last.size() ? last[network] : nullptr;
}

std::vector<prometheus::MetricFamily> FleetCollectable::Collect() const {
    std::vector<prometheus::MetricFamily> out;
    std::map<std::string, size_t> byName;
    for (size_t k = 0; k < names.size(); ++k) {
        const auto snapshot = current(k);
        if (!snapshot) continue;
        for (prometheus::MetricFamily& family : RenderMetrics(*snapshot)) {
            if (!names[k].empty())
                for (prometheus::ClientMetric& metric : family.metric)
                    metric.label.insert(metric.label.begin(), {"network", names[k]});
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
