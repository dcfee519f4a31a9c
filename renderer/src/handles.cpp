// What R3D_Model and R3D_InstanceBuffer records name: their data, kept in pools by
// handle. A record is a value the caller copies freely; the handle's generation lets a
// copy kept after its object was unloaded be refused instead of followed into freed
// memory. Used from the main thread only, as the rest of the API.
#include <algorithm>

#include "base/Handles.h"
#include "draw/draw.h"
#include "internal.h"

namespace r3d {
namespace {

// Never destroyed: what a program leaves loaded at exit stays reachable (the host
// frees nothing then), and no destructor runs after the window and GL are gone.
base::Pool<R3D_ModelData>& Models() {
    static auto* models = new base::Pool<R3D_ModelData>("R3D", "model");
    return *models;
}

base::Pool<R3D_InstanceData>& InstanceBuffers() {
    static auto* buffers = new base::Pool<R3D_InstanceData>("R3D", "instance buffer");
    return *buffers;
}

}  // namespace

R3D_ModelData* ModelData(const R3D_Model& model, const char* call) { return Models().Get(model.id, call); }
R3D_InstanceData* InstanceData(const R3D_InstanceBuffer& buffer, const char* call) {
    return InstanceBuffers().Get(buffer.id, call);
}
R3D_ModelData* FindModelData(const R3D_Model& model) { return Models().Find(model.id); }
R3D_InstanceData* FindInstanceData(const R3D_InstanceBuffer& buffer) { return InstanceBuffers().Find(buffer.id); }

unsigned int AddModelData() { return Models().Add(); }
unsigned int AddInstanceData() { return InstanceBuffers().Add(); }

// A draw queued in the open scene keeps a pointer to the data: it goes with the data.
void RemoveModelData(unsigned int id) {
    const R3D_ModelData* data = Models().Find(id);
    if (data == nullptr) return;
    std::vector<DrawCommand>& queue = DrawQueue();
    queue.erase(std::remove_if(queue.begin(), queue.end(), [data](const DrawCommand& d) { return d.model == data; }),
                queue.end());
    Models().Remove(id);
}

void RemoveInstanceData(unsigned int id) {
    const R3D_InstanceData* data = InstanceBuffers().Find(id);
    if (data == nullptr) return;
    std::vector<DrawCommand>& queue = DrawQueue();
    queue.erase(std::remove_if(queue.begin(), queue.end(), [data](const DrawCommand& d) { return d.instances == data; }),
                queue.end());
    InstanceBuffers().Remove(id);
}

}  // namespace r3d
