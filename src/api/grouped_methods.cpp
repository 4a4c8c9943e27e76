#include "api/grouped_methods.hpp"

#include <optional>

#include "api/arguments.hpp"
#include "api/grouped_type.hpp"
#include "engine/aggregations.hpp"

namespace quorvel::api {
namespace {

constexpr Parameters<1> sum_parameters{"Grouped.sum()", {"name"}};
constexpr Parameters<1> mean_parameters{"Grouped.mean()", {"name"}};
constexpr Parameters<1> min_parameters{"Grouped.min()", {"name"}};
constexpr Parameters<1> max_parameters{"Grouped.max()", {"name"}};

// sum, mean, min, max: one value per group of the column `name`, after the key columns.
PyObject* aggregate(const Parameters<1>& parameters, std::size_t aggregation, PyObject* self,
                    PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_grouped_method(self, [&](engine::Grouping& grouping) -> std::optional<engine::Result<engine::Frame>> {
        const auto name = to_text(slots[0], "name");
        if (!name) return std::nullopt;
        return engine::aggregate(grouping, *name, aggregation);
    });
}

}  // namespace

PyObject* grouped_groups(PyObject* self, PyObject*) {
    return call_grouped_method(self, [](engine::Grouping& grouping) {
        return std::optional<std::uint64_t>(grouping.group_count());
    });
}

PyObject* grouped_count(PyObject* self, PyObject*) {
    return call_grouped_method(self,
                               [](engine::Grouping& grouping) { return std::optional(engine::count_rows(grouping)); });
}

PyObject* grouped_sum(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return aggregate(sum_parameters, engine::aggregates::index_of<engine::aggregates::Sum>, self, args, nargs, kwnames);
}

PyObject* grouped_mean(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return aggregate(mean_parameters, engine::aggregates::index_of<engine::aggregates::Mean>, self, args, nargs, kwnames);
}

PyObject* grouped_min(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return aggregate(min_parameters, engine::aggregates::index_of<engine::aggregates::Min>, self, args, nargs, kwnames);
}

PyObject* grouped_max(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return aggregate(max_parameters, engine::aggregates::index_of<engine::aggregates::Max>, self, args, nargs, kwnames);
}

}  // namespace quorvel::api
