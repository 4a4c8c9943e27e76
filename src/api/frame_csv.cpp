#include <optional>

#include "../csv/writer.hpp"
#include "frame_methods.hpp"
#include "frame_type.hpp"

namespace quorvel::api {

PyObject* frame_to_csv(PyObject* self, PyObject*) {
    return call_frame_method(self, Access::shared,
                             [](engine::Frame& frame) { return std::optional(engine::to_csv(frame)); });
}

}  // namespace quorvel::api
