// Renders the document's texture off the interface thread.
//
// The generator's layers are process-wide, so every render in the process
// (previews and exports) takes one lock, and previews run on one worker
// thread. A request supersedes the one before it: a render still running is
// abandoned between two operations and never published, and a published
// picture is never replaced by one of an older request.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "texgen/layers.h"

namespace editor {

struct Picture {
    uint64_t revision = 0; // the document revision it shows
    int size = 0;          // width and height
    // Every layer as RGB bytes, row 0 first (size * size * 3 each).
    std::array<std::vector<uint8_t>, texgen::kLayerCount> layers;
    std::string error;         // why it could not be rendered; layers then empty
    double milliseconds = 0.0; // from the request to the picture
};

// Renders `description` at size x size into `picture` (layers and error).
// `abandon`, asked between operations, stops the render early: it then
// returns false and the picture is incomplete.
bool renderPicture(const texgen::TextureDescription& description, int size, Picture& picture,
                   const std::function<bool()>& abandon = {});

// Writes the texture (layer 4) of `description` as a size x size PNG; "" or what is wrong.
std::string exportPng(const texgen::TextureDescription& description, int size,
                      const std::string& path);

class Renderer {
  public:
    // `published` runs on the worker thread after each new picture.
    explicit Renderer(std::function<void()> published);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    void request(const texgen::TextureDescription& description, uint64_t revision, int size);
    // The newest published picture, or nullptr before the first.
    std::shared_ptr<const Picture> latest() const;
    // True while a request waits or renders.
    bool busy() const;

  private:
    struct Request;
    void run();
    void publish(std::shared_ptr<const Picture> picture, uint64_t sequence);

    std::function<void()> published_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<Request> pending_;
    uint64_t requested_ = 0; // sequence number of the newest request
    uint64_t publishedSequence_ = 0;
    bool rendering_ = false;
    bool stopping_ = false;
    std::shared_ptr<const Picture> latest_;
    std::thread worker_;
};

} // namespace editor
