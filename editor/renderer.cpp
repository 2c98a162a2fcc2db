#include "editor/renderer.h"

#include <chrono>
#include <cstring>

#include "common/png_io.h"
#include "texgen/interpreter.h"

namespace editor {

namespace {

constexpr int kOutputLayer = texgen::kLayerCount - 1; // the texture is the last layer

// One render at a time in the whole process: the generator's buffers are global.
std::mutex& generatorLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

bool renderPicture(const texgen::TextureDescription& description, int size, Picture& picture,
                   const std::function<bool()>& abandon) {
    std::lock_guard guard(generatorLock());
    picture.size = size;
    picture.error.clear();
    for (auto& layer : picture.layers) layer.clear();
    if (texgen::Status status = texgen::initLayers(size, size); !status.ok()) {
        picture.error = status.message;
        return true;
    }
    // Layers run in order, as the generator renders a description: a list
    // may read the finished layers below it.
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        const texgen::OperationList& list = description.lists[layer];
        texgen::operationLists[layer] = list;
        for (int index = 0; index < list.count; ++index) {
            if (abandon && abandon()) {
                texgen::freeLayers();
                return false;
            }
            texgen::Status status = texgen::runOperation(list.opcode[index], list.params[index]);
            if (!status.ok()) {
                picture.error = "layer " + std::to_string(layer) + ", operation " +
                                std::to_string(index) + ": " + status.message;
                texgen::freeLayers();
                return true;
            }
        }
    }
    const size_t bytes = static_cast<size_t>(texgen::layerByteCount());
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        picture.layers[layer].assign(texgen::layerData[layer], texgen::layerData[layer] + bytes);
    }
    texgen::freeLayers();
    return true;
}

std::string exportPng(const texgen::TextureDescription& description, int size,
                      const std::string& path) {
    Picture picture;
    renderPicture(description, size, picture);
    if (!picture.error.empty()) return picture.error;
    PngImage image;
    image.width = image.height = size;
    image.channels = 3;
    image.pixels = std::move(picture.layers[kOutputLayer]);
    return writePng(path, image).message;
}

struct Renderer::Request {
    texgen::TextureDescription description;
    uint64_t revision;
    int size;
    uint64_t sequence;
    std::chrono::steady_clock::time_point made;
};

Renderer::Renderer(std::function<void()> published)
    : published_(std::move(published)), worker_([this] { run(); }) {}

Renderer::~Renderer() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void Renderer::request(const texgen::TextureDescription& description, uint64_t revision, int size) {
    auto request = std::make_unique<Request>(
        Request{description, revision, size, 0, std::chrono::steady_clock::now()});
    {
        std::lock_guard guard(mutex_);
        request->sequence = ++requested_;
        pending_ = std::move(request);
    }
    wake_.notify_all();
}

std::shared_ptr<const Picture> Renderer::latest() const {
    std::lock_guard guard(mutex_);
    return latest_;
}

bool Renderer::busy() const {
    std::lock_guard guard(mutex_);
    return pending_ || rendering_;
}

void Renderer::publish(std::shared_ptr<const Picture> picture, uint64_t sequence) {
    {
        std::lock_guard guard(mutex_);
        if (sequence <= publishedSequence_) return; // never over a newer picture
        publishedSequence_ = sequence;
        latest_ = std::move(picture);
    }
    if (published_) published_();
}

void Renderer::run() {
    for (;;) {
        std::unique_ptr<Request> request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || pending_; });
            if (stopping_) return;
            request = std::move(pending_);
            rendering_ = true;
        }
        const uint64_t sequence = request->sequence;
        auto superseded = [this, sequence] {
            std::lock_guard guard(mutex_);
            return stopping_ || requested_ != sequence;
        };
        auto picture = std::make_shared<Picture>();
        picture->revision = request->revision;
        if (renderPicture(request->description, request->size, *picture, superseded)) {
            picture->milliseconds = std::chrono::duration<double, std::milli>(
                                        std::chrono::steady_clock::now() - request->made)
                                        .count();
            publish(std::move(picture), sequence);
        }
        std::lock_guard guard(mutex_);
        rendering_ = false;
    }
}

} // namespace editor
