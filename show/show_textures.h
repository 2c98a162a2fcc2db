// The show's twenty textures: which file each comes from and where its alpha
// comes from, loaded once at start-up and, in the live mode, decoded again
// while the show goes on drawing and put into the same OpenGL texture.
//
//   loadShowTexture(kFloor);                          // loading: decode and upload
//   int index = showTextureFor("data/floor.hwl");     // a file changed
//   std::unique_ptr<Texture> fresh;
//   ShowError error = decodeShowTexture(index, fresh); // any thread
//   replacePixels(*textures[index], std::move(*fresh)); // the render thread
#pragma once

#include <memory>
#include <string>

#include "images/texture.h"
#include "show/show_setup.h"

// Decodes texture `index` (a TextureIndex) with its alpha and uploads it
// into textures[index].
ShowError loadShowTexture(int index);

// The same without OpenGL, into `texture`.
ShowError decodeShowTexture(int index, std::unique_ptr<Texture>& texture);

// The texture whose picture or alpha companion is `file` (as the show names
// it, "data/floor.hwl"); -1 for none.
int showTextureFor(const std::string& file);
