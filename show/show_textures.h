// The pictures a scene set draws with, each decoded with the alpha and
// mipmap its set lists and uploaded once: the show's twenty into `textures`
// (show_state.h), any other into a texture of its own, kept until
// releaseShowPictures. In the live mode a changed file is decoded again
// while the show goes on drawing and put into the same OpenGL texture.
//
//   loadShowPicture(entry);                                // loading: decode and upload
//   const Texture* texture = showPicture(entry);           // what the set binds
//   for (const scenes::PictureEntry& entry : showPicturesFor("data/floor.hwl")) {
//       std::unique_ptr<Texture> fresh;
//       ShowError error = decodeShowPicture(entry, fresh); // any thread
//       replacePixels(*showPicture(entry), std::move(*fresh)); // the render thread
//   }
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "images/texture.h"
#include "show/scene_set.h"
#include "show/show_setup.h"

// Decodes the picture with its alpha and uploads it, unless it is loaded
// already (the same file, alpha and mipmap). One of the show's twenty goes
// into its slot of `textures`; the texture it replaces, if loaded with other
// settings, stays alive for a set that still draws with it.
ShowError loadShowPicture(const scenes::PictureEntry& picture);

// The same without OpenGL, into `texture`.
ShowError decodeShowPicture(const scenes::PictureEntry& picture, std::unique_ptr<Texture>& texture);

// The loaded texture of `picture`; null when it is not loaded.
Texture* showPicture(const scenes::PictureEntry& picture);

// The loaded pictures whose file or alpha companion is `file` (as the show
// names it, "data/floor.hwl").
std::vector<scenes::PictureEntry> showPicturesFor(const std::string& file);

// What went wrong with `file` in the decoder's own words, for a person at
// work: "data/floor.hwl: file ends early: ...", out of the loader's "Could
// not load Texture (...)".
std::string pictureProblem(const std::string& file, const ShowError& error);

// Deletes every loaded picture, those in `textures` too.
void releaseShowPictures();
