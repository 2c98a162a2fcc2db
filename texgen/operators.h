// The 46 operators, by family. Arguments arrive already converted from the
// stored floats (integers truncated toward zero, booleans true only for 1.0)
// and already validated (see validate.h): layer indices are 0..4 and no
// parameter can divide by zero or loop without end.
#pragma once

#include <cstdint>

namespace texgen {

// Generators (opcodes 0..8): fill one whole layer.
void subPlasma(int dst, int32_t step, int32_t seed, int32_t levels, bool colour);
void sinePlasma(int dst, float xFrequency, float yFrequency, float amplitude);
void perlinNoise(int dst, int32_t step, int32_t seed, int32_t amplitude, int32_t persistence,
                 int32_t octaves, bool colour);
void particle(int dst, float falloff);
void colorLayer(int dst, int32_t red, int32_t green, int32_t blue);
void checkerBoardLayer(int dst, int32_t cellWidth, int32_t cellHeight, int32_t red1, int32_t green1,
                       int32_t blue1, int32_t red2, int32_t green2, int32_t blue2);
void blobsLayer(int dst, int32_t seed, int32_t count, bool colour);
void mandelBrot(int dst, float left, float width, float top, float height, float escapeLimit);
void cellMachine(int dst, int32_t seed, int32_t rule);

// Combiners (opcodes 10..17): dst := f(srcA, srcB) pixel by pixel.
void addLayers(int srcA, int srcB, int dst, float weightA, float weightB);
void mulLayers(int srcA, int srcB, int dst, float weightA, float weightB);
void randCombineLayers(int srcA, int srcB, int dst, float weightA, float weightB);
void minCombineLayers(int srcA, int srcB, int dst, float weightA, float weightB);
void maxCombineLayers(int srcA, int srcB, int dst, float weightA, float weightB);
void xorLayers(int srcA, int srcB, int dst, float weightA, float weightB);
void orLayers(int srcA, int srcB, int dst, float weightA, float weightB);
void andLayers(int srcA, int srcB, int dst, float weightA, float weightB);

// Colour operators (opcodes 20..26, 30).
void scaleLayerRGB(int src, int dst, float redFactor, float greenFactor, float blueFactor);
void scaleLayerHSV(int src, int dst, float hueFactor, float saturationFactor, float valueFactor);
void adjustLayerRGB(int src, int dst, int32_t redOffset, int32_t greenOffset, int32_t blueOffset);
void adjustLayerHSV(int src, int dst, float hueOffset, float saturationOffset, float valueOffset);
void sineLayerRGB(int src, int dst, float redFrequency, float greenFrequency, float blueFrequency);
void equalizeRGB(int src, int dst);
void stretchRGB(int src, int dst);
void invertLayer(int src, int dst);

// Filters (opcodes 31..39, 50, 51).
void embossLayer(int src, int dst);
void woodLayer(int src, int dst, int32_t rotation);
void blurLayer(int src, int dst);
void sharpenLayer(int src, int dst);
void edgeHLayer(int src, int dst);
void edgeVLayer(int src, int dst);
void motionBlur(int src, int dst, int32_t reach);
void makeTilable(int src, int dst, int32_t radius);
void medianLayer(int src, int dst);
void erodeLayer(int src, int dst);
void dilateLayer(int src, int dst);

// Distortions (opcodes 40..49).
void sineDistort(int src, int dst, float rowFrequency, float horizontalAmplitude,
                 float columnFrequency, float verticalAmplitude);
void twirlLayer(int src, int dst, float strength, float radiusFactor);
void mapDistort(int src, int map, int dst, float xFactor, float yFactor);
void tileLayer(int src, int dst);
void noiseDistort(int src, int dst, int32_t seed, int32_t bits);
void moveDistort(int src, int dst, int32_t xShift, int32_t yShift);
void kaleidLayer(int src, int dst, int32_t quadrant);
void tunnelDistort(int src, int dst, float depth);
void sculptureLayer(int src, int dst);
void logPolLayer(int src, int dst);

} // namespace texgen
