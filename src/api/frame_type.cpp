// The Frame class: its methods, described once each, and its type.
#include "api/frame_type.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "api/arguments.hpp"
#include "api/binding.hpp"
#include "api/errors.hpp"
#include "api/frame_arrow.hpp"
#include "csv/writer.hpp"
#include "engine/concatenation.hpp"
#include "engine/date_parts.hpp"
#include "engine/filters.hpp"
#include "engine/grouping.hpp"
#include "engine/joining.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"
#include "engine/summaries.hpp"

namespace quorvel::api {
namespace {

using engine::CompareOp;
using engine::DType;
using engine::Frame;
using engine::TextPlace;

constexpr const char free_body[] =
    "Nothing under CPython, which frees the object itself; in a page, the instance goes back to the library.";

// where_eq ... where_ge: the value is a number, whatever the column's dtype.
template <CompareOp op>
constexpr auto compare = [](const Frame& frame, std::string_view name, double value) {
    return engine::filter_compare(frame, name, op, value);
};

// where_starts_with, where_ends_with, where_contains: texts that hold the text at a place.
template <TextPlace place>
constexpr auto holds_text = [](const Frame& frame, std::string_view name, std::string_view text) {
    return engine::filter_text(frame, name, place, text);
};

// floats, ints, strings: one column in logical row order, None for nulls.
template <DType dtype>
constexpr auto read = [](const Frame& frame, std::string_view name) { return engine::read_column(frame, name, dtype); };

// In the order of the method table. The add methods change the frame in place, so they
// borrow it exclusively; every other method shares it.
constexpr auto frame_methods = std::tuple{
    method("add_floats", Access::exclusive, &engine::add_column, param<Text>("name"), param<NumberList>("values")),
    method("add_ints", Access::exclusive, &engine::add_column, param<Text>("name"), param<IntegerList>("values")),
    method("add_strings", Access::exclusive, &engine::add_column, param<Text>("name"), param<TextCells>("values")),
    method("add_date_part", Access::exclusive, &engine::add_date_part, param<Text>("name"), param<Text>("source"),
           param<Text>("part")),
    method("height", Access::shared, [](const Frame& frame) -> std::uint64_t { return frame.height; }),
    method("width", Access::shared, [](const Frame& frame) -> std::uint64_t { return frame.columns.size(); }),
    method("names", Access::shared, &engine::column_names),
    method("dtypes", Access::shared, &engine::column_dtypes),
    method("select", Access::shared, &engine::select, param<TextList>("names")),
    method("head", Access::shared, &engine::head, param<Integer>("n")),
    method("tail", Access::shared, &engine::tail, param<Integer>("n")),
    method("sort", Access::shared, &engine::sort, param<Text>("name"), param<Flag>("descending")),
    method("where_eq", Access::shared, compare<CompareOp::Eq>, param<Text>("name"), param<Number>("value")),
    method("where_ne", Access::shared, compare<CompareOp::Ne>, param<Text>("name"), param<Number>("value")),
    method("where_lt", Access::shared, compare<CompareOp::Lt>, param<Text>("name"), param<Number>("value")),
    method("where_le", Access::shared, compare<CompareOp::Le>, param<Text>("name"), param<Number>("value")),
    method("where_gt", Access::shared, compare<CompareOp::Gt>, param<Text>("name"), param<Number>("value")),
    method("where_ge", Access::shared, compare<CompareOp::Ge>, param<Text>("name"), param<Number>("value")),
    method(
        "where_among", Access::shared,
        [](const Frame& frame, std::string_view name, const engine::F64Cells& values) {
            return engine::filter_among(frame, name, values.values);
        },
        param<Text>("name"), param<NumberList>("values")),
    // where_is(name, value) is where_in(name, [value]) in every respect, messages included.
    method(
        "where_is", Access::shared,
        [](const Frame& frame, std::string_view name, std::string_view value) {
            return engine::filter_in(frame, name, {std::string(value)});
        },
        param<Text>("name"), param<Text>("value")),
    method("where_in", Access::shared, &engine::filter_in, param<Text>("name"), param<TextList>("values")),
    method("group", Access::shared, &engine::group, param<TextList>("names")),
    method("floats", Access::shared, read<DType::f64>, param<Text>("name")),
    method("ints", Access::shared, read<DType::i64>, param<Text>("name")),
    method("strings", Access::shared, read<DType::str>, param<Text>("name")),
    method("to_csv", Access::shared, &csv::to_csv),
    method("describe", Access::shared, &engine::frame_text),
    // The interpreter frees objects itself: free() is the call protocol without work.
    method_with_body("free", free_body, Access::shared, [](const Frame&) { return NoneResult{}; }),
    method("where_null", Access::shared, &engine::filter_null, param<Text>("name")),
    method("where_not_null", Access::shared, &engine::filter_not_null, param<Text>("name")),
    method("where_starts_with", Access::shared, holds_text<TextPlace::Start>, param<Text>("name"), param<Text>("text")),
    method("where_ends_with", Access::shared, holds_text<TextPlace::End>, param<Text>("name"), param<Text>("text")),
    method("where_contains", Access::shared, holds_text<TextPlace::Anywhere>, param<Text>("name"), param<Text>("text")),
    own_method("__arrow_c_stream__", frame_arrow_c_stream, 0, "__arrow_c_stream__($self, requested_schema=None)\n--\n\n"),
    own_method("from_arrow", frame_from_arrow, METH_CLASS, "from_arrow($type, data)\n--\n\n"),
    method("sort_by", Access::shared, &engine::sort_by, param<TextList>("names"), param<Directions>("descending")),
    method("join", Access::shared, &engine::join, param<FrameArgument>("other"), param<TextList>("on"),
           param<Text>("how")),
    method("unique", Access::shared, &engine::unique, param<TextList>("names")),
    method("concat", Access::shared, &engine::concat, param<FrameArgument>("other")),
    method("rename", Access::shared, &engine::rename, param<Text>("old"), param<Text>("new")),
};

auto frame_method_table = method_table<FrameClass, frame_methods>();

// repr() and str(): the same summary as describe().
PyObject* frame_summary(PyObject* self) {
    return call_method<Frame>(self, FrameClass::internal_name, Access::shared,
                              [](Frame& frame) { return std::optional(engine::frame_text(frame)); });
}

// Frame(): a new empty frame; takes no arguments.
PyObject* frame_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    if (!refuse_arguments("Frame.__new__()", args, kwargs)) return nullptr;
    return new_instance(type, Frame{});
}

void frame_dealloc(PyObject* self) {
    free_instance<Frame>(self, "quorvel::api::Frame is unsendable, but is being dropped on another thread");
}

PyType_Slot frame_slots[] = {
    {Py_tp_doc, const_cast<char*>("Frame()\n--\n\nA table: named columns of one length.")},
    {Py_tp_new, reinterpret_cast<void*>(frame_new)},
    {Py_tp_repr, reinterpret_cast<void*>(frame_summary)},
    {Py_tp_str, reinterpret_cast<void*>(frame_summary)},
    {Py_tp_dealloc, reinterpret_cast<void*>(frame_dealloc)},
    {Py_tp_methods, frame_method_table.data()},
    {0, nullptr},
};

PyType_Spec frame_spec = {
    "builtins.Frame",
    static_cast<int>(sizeof(FrameObject)),
    0,
    Py_TPFLAGS_DEFAULT,
    frame_slots,
};

}  // namespace

PyTypeObject* frame_type() {
    static PyObject* type = nullptr;
    if (!type) type = PyType_FromSpec(&frame_spec);
    return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* to_python(Frame&& frame) { return new_instance(frame_type(), std::move(frame)); }

std::optional<FrameArgument::Held> FrameArgument::convert(PyObject* object, const char* argument) {
    PyTypeObject* type = frame_type();
    if (!type) return std::nullopt;
    if (Py_TYPE(object) != type) {  // Frame has no subclasses
        raise_not_instance(object, "Frame");
        add_argument_note(argument);
        return std::nullopt;
    }
    auto* instance = reinterpret_cast<FrameObject*>(object);
    if (!on_owner_thread(*instance, FrameClass::internal_name)) return std::nullopt;
    Held held{Borrow(instance->borrow_flag), &instance->contents};
    if (!held.borrow.acquire(Access::shared)) return std::nullopt;
    return held;
}

}  // namespace quorvel::api
