#include <optional>

#include "api/frame_methods.hpp"
#include "api/frame_type.hpp"
#include "csv/writer.hpp"

namespace quorvel::api {

PyObject* frame_to_csv(PyObject* self, PyObject*) {
    return call_frame_method(self, Access::shared,
                             [](engine::Frame& frame) { return std::optional(csv::to_csv(frame)); });
}

}  // namespace quorvel::api
