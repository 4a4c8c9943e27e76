#include "api/results.hpp"

#include <type_traits>
#include <variant>

#include "csv/text_buffer.hpp"

namespace quorvel::api {
namespace {

PyObject* text_object(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// A list of `cells.size()` items made by `item(row)`, None where a cell is null.
template <class Cells, class Item>
PyObject* cell_list(const Cells& cells, Item&& item) {
    const std::size_t size = cells.size();
    Ref list(PyList_New(static_cast<Py_ssize_t>(size)));
    if (!list) return nullptr;
    const bool all_present = cells.validity.all_present();
    for (std::size_t row = 0; row < size; ++row) {
        PyObject* value = all_present || cells.is_present(row) ? item(row) : Py_NewRef(Py_None);
        if (!value) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(row), value);
    }
    return list.release();
}

}  // namespace

PyObject* to_python(NoneResult) { return Py_NewRef(Py_None); }

PyObject* to_python(std::uint64_t count) { return PyLong_FromUnsignedLongLong(count); }

PyObject* to_python(const std::string& text) { return text_object(text); }

PyObject* to_python(const csv::TextBuffer& text) { return text_object(text.view()); }

PyObject* to_python(const std::vector<std::string>& texts) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        PyObject* item = text_object(texts[i]);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* to_python(const engine::ValuesRef& values) {
    return std::visit(
        [](const auto& cells) -> PyObject* {
            using Cells = std::decay_t<decltype(cells)>;
            if constexpr (std::is_same_v<Cells, engine::F64Cells>) {
                return cell_list(cells, [&](std::size_t row) { return PyFloat_FromDouble(cells.values[row]); });
            } else if constexpr (std::is_same_v<Cells, engine::I64Cells>) {
                return cell_list(cells, [&](std::size_t row) { return PyLong_FromLongLong(cells.values[row]); });
            } else {
                return cell_list(cells, [&](std::size_t row) { return text_object(cells.at(row)); });
            }
        },
        values->cells());
}

}  // namespace quorvel::api
