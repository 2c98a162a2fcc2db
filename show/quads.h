// Immediate-mode quads as the show draws them: GL_QUADS, one normal facing
// the viewer per block, a texture coordinate before each vertex, all in
// single precision. Texture coordinate t = 0 is the picture's first row.
#pragma once

#include <GL/gl.h>
#include <span>

#include "show/show_state.h"

// One corner of a textured quad: texture coordinate, then position.
struct Corner {
    float s, t;
    float x, y, z;
};

// One corner of an untextured quad.
struct Point {
    float x, y, z;
};

using Quad = Corner[4];

inline void beginQuads() {
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
}

inline void emitCorner(const Corner& corner) {
    glTexCoord2f(corner.s, corner.t);
    glVertex3f(corner.x, corner.y, corner.z);
}

// Every quad of `quads` inside one glBegin/glEnd block.
inline void drawQuads(std::span<const Quad> quads) {
    beginQuads();
    for (const Quad& quad : quads)
        for (const Corner& corner : quad) emitCorner(corner);
    glEnd();
}

inline void drawQuad(const Quad& quad) {
    drawQuads({&quad, 1});
}

inline void drawPlainQuad(const Point (&corners)[4]) {
    beginQuads();
    for (const Point& p : corners) glVertex3f(p.x, p.y, p.z);
    glEnd();
}

// Binds one of the show's textures; an absent one binds none, so a show
// that failed to load draws white instead of crashing.
inline void bindTexture(TextureIndex index) {
    const Texture* texture = textures[index].get();
    glBindTexture(GL_TEXTURE_2D, texture ? texture->textureName : 0);
}

inline void useOpaqueWhite() {
    glColor4f(1, 1, 1, 1);
}

// Ordinary transparency: the source over what is drawn.
inline void blendOver() {
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// Additive: the source, weighted by its alpha, added to what is drawn.
inline void blendAdditive() {
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}
