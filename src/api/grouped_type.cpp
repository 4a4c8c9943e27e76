// The Grouped class: its methods, described once each, and its type.
#include "api/grouped_type.hpp"

#include <cstdint>
#include <string_view>
#include <tuple>
#include <utility>

#include "api/binding.hpp"
#include "engine/aggregations.hpp"
#include "engine/summaries.hpp"

namespace quorvel::api {
namespace {

using engine::Grouping;

constexpr const char free_body[] =
    "Nothing under CPython, which frees the object itself; in a page, the instance goes back to the library.";

// One method for each aggregation of the engine's list, in its order, from place `first` to
// place `last` (not included).
template <std::size_t first, std::size_t last>
constexpr auto aggregation_methods = []<std::size_t... i>(std::index_sequence<i...>) {
    return std::tuple{[]<class Aggregate>(std::type_identity<Aggregate>) {
        return method(
            Aggregate::name.data(), Access::shared,
            [](const Grouping& grouping, std::string_view name) { return engine::aggregate<Aggregate>(grouping, name); },
            param<Text>("name"));
    }(std::type_identity<std::tuple_element_t<first + i, engine::aggregates::List>>{})...};
}(std::make_index_sequence<last - first>{});

// sum, mean, min and max keep the places they first had, before describe; the aggregations
// added since, and agg, come after free.
constexpr std::size_t first_aggregations = 4;

// In the order of the method table; a Grouped never changes, so every method shares it.
constexpr auto grouped_methods = std::tuple_cat(
    std::tuple{
        method("groups", Access::shared, [](const Grouping& grouping) -> std::uint64_t { return grouping.group_count(); }),
        method("count", Access::shared, &engine::count_rows),
    },
    aggregation_methods<0, first_aggregations>,
    std::tuple{
        method("describe", Access::shared, &engine::grouped_text),
        // The interpreter frees objects itself: free() is the call protocol without work.
        method_with_body("free", free_body, Access::shared, [](const Grouping&) { return NoneResult{}; }),
        method("agg", Access::shared, &engine::aggregate_specs, param<AggregationSpecs>("specs")),
    },
    aggregation_methods<first_aggregations, engine::aggregates::count>);

auto grouped_method_table = method_table<GroupedClass, grouped_methods>();

// repr() and str(): the same summary as describe().
PyObject* grouped_summary(PyObject* self) {
    return call_method<Grouping>(self, GroupedClass::internal_name, Access::shared,
                                 [](Grouping& grouping) { return std::optional(engine::grouped_text(grouping)); });
}

void grouped_dealloc(PyObject* self) {
    free_instance<Grouping>(self, "quorvel::api::Grouped is unsendable, but is being dropped on another thread");
}

PyType_Slot grouped_slots[] = {
    {Py_tp_doc, const_cast<char*>("A frame split by the values of some columns; each aggregation is a `Frame` with the "
                                  "key\ncolumns first, one row per group.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(grouped_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(grouped_summary)},
    {Py_tp_str, reinterpret_cast<void*>(grouped_summary)},
    {Py_tp_methods, grouped_method_table.data()},
    {0, nullptr},
};

PyType_Spec grouped_spec = {
    "builtins.Grouped",
    static_cast<int>(sizeof(GroupedObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    grouped_slots,
};

}  // namespace

PyTypeObject* grouped_type() {
    static PyObject* type = nullptr;
    if (!type) type = PyType_FromSpec(&grouped_spec);
    return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* to_python(Grouping&& grouping) { return new_instance(grouped_type(), std::move(grouping)); }

}  // namespace quorvel::api
