#include "GstLentPool.h"

namespace media::gstimpl {

namespace {

struct LentPool {
    GstBufferPool parent;
    std::shared_ptr<PlayerItem::FrameMemory>* memory;
    gsize size;
};

struct LentPoolClass {
    GstBufferPoolClass parent_class;
};

GType lentPoolType();
LentPool* lentPool(GstBufferPool* pool) { return reinterpret_cast<LentPool*>(pool); }
GstBufferPoolClass* parentClass = nullptr;

/// Marks the buffers over lent memory (a pool's own, unlike the plain ones).
GQuark lentQuark() {
    static GQuark quark = g_quark_from_static_string("zid-lent-buffer");
    return quark;
}

gboolean setConfig(GstBufferPool* pool, GstStructure* config) {
    GstCaps* caps = nullptr;
    guint size = 0, min = 0, max = 0;
    if (!gst_buffer_pool_config_get_params(config, &caps, &size, &min, &max) || size == 0) return FALSE;
    lentPool(pool)->size = size;
    // Nothing made ahead, no bound: a buffer is lent when one is needed and the item
    // has one, and a plain one serves otherwise.
    gst_buffer_pool_config_set_params(config, caps, size, 0, 0);
    return parentClass->set_config(pool, config);
}

GstFlowReturn allocBuffer(GstBufferPool* pool, GstBuffer** buffer, GstBufferPoolAcquireParams*) {
    LentPool* self = lentPool(pool);
    auto block = (*self->memory)->lend(self->size);
    if (!block.data) return GST_FLOW_ERROR;  // the acquire below falls back to plain memory
    auto* keep = new std::shared_ptr<void>(std::move(block.keep));
    *buffer = gst_buffer_new_wrapped_full(GstMemoryFlags(0), block.data, self->size, 0, self->size, keep,
                                          [](gpointer data) { delete static_cast<std::shared_ptr<void>*>(data); });
    gst_mini_object_set_qdata(GST_MINI_OBJECT(*buffer), lentQuark(), self, nullptr);
    return GST_FLOW_OK;
}

GstFlowReturn acquireBuffer(GstBufferPool* pool, GstBuffer** buffer, GstBufferPoolAcquireParams* params) {
    LentPool* self = lentPool(pool);
    // Pictures the host has let go of free their buffers first.
    (*self->memory)->reclaim();
    GstBufferPoolAcquireParams noWait{};
    if (params) noWait = *params;
    noWait.flags = static_cast<GstBufferPoolAcquireFlags>(noWait.flags | GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT);
    GstFlowReturn result = parentClass->acquire_buffer(pool, buffer, &noWait);
    if (result == GST_FLOW_OK || result == GST_FLOW_FLUSHING) return result;
    // Every lent buffer is still shown or on its way: the pipeline does not wait for
    // the host, this picture is copied.
    *buffer = gst_buffer_new_allocate(nullptr, self->size, nullptr);
    return *buffer ? GST_FLOW_OK : GST_FLOW_ERROR;
}

void releaseBuffer(GstBufferPool* pool, GstBuffer* buffer) {
    // A plain buffer given out in a pinch is not the pool's to keep.
    if (!gst_mini_object_get_qdata(GST_MINI_OBJECT(buffer), lentQuark())) {
        gst_buffer_unref(buffer);
        return;
    }
    // Once the item has closed its pictures, a lent buffer may come back while the host
    // still shows its picture, and a streaming thread not yet stopped would convert the
    // next one into it: the pool frees it instead (memory so tagged is never reused).
    if (!(*lentPool(pool)->memory)->refillable()) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_TAG_MEMORY);
    parentClass->release_buffer(pool, buffer);
}

void finalize(GObject* object) {
    delete reinterpret_cast<LentPool*>(object)->memory;
    G_OBJECT_CLASS(parentClass)->finalize(object);
}

void classInit(gpointer klass, gpointer) {
    parentClass = static_cast<GstBufferPoolClass*>(g_type_class_peek_parent(klass));
    auto* poolClass = static_cast<GstBufferPoolClass*>(klass);
    poolClass->set_config = setConfig;
    poolClass->alloc_buffer = allocBuffer;
    poolClass->acquire_buffer = acquireBuffer;
    poolClass->release_buffer = releaseBuffer;
    G_OBJECT_CLASS(klass)->finalize = finalize;
}

GType lentPoolType() {
    static GType type = [] {
        GTypeInfo info{};
        info.class_size = sizeof(LentPoolClass);
        info.class_init = classInit;
        info.instance_size = sizeof(LentPool);
        return g_type_register_static(GST_TYPE_BUFFER_POOL, "ZidLentPool", &info, GTypeFlags(0));
    }();
    return type;
}

}  // namespace

GstBufferPool* makeLentPool(std::shared_ptr<PlayerItem::FrameMemory> memory) {
    auto* pool = static_cast<GstBufferPool*>(g_object_new(lentPoolType(), nullptr));
    // A new pool is floating; the caller owns the one reference.
    gst_object_ref_sink(pool);
    lentPool(pool)->memory = new std::shared_ptr<PlayerItem::FrameMemory>(std::move(memory));
    return pool;
}

}  // namespace media::gstimpl
