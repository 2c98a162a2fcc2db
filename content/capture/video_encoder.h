// A video file written by an ffmpeg process: raw RGB frames go down a pipe,
// a sound track from a WAV file is muxed in beside them.
//
//   VideoEncoder video;
//   if (std::string error = startVideo(video, settings); !error.empty()) ...
//   writeVideoFrame(video, rgbRows);       // width x height x 3 bytes, top row first
//   std::string error = finishVideo(video); // waits for ffmpeg; "" when the file is complete
//
// H.264 (libx264) where the ffmpeg at hand has it, MPEG-4 part 2 otherwise;
// AAC sound. Odd sizes are padded by one black row or column, as the usual
// 4:2:0 colour sampling needs even sides.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

struct VideoSettings {
    std::string file; // its extension picks the container (".mp4", ".mkv", ...)
    int32_t width = 0;
    int32_t height = 0;
    int32_t fps = 0;
    std::string soundTrack; // a WAV file, or "" for a video without sound
};

struct VideoEncoder {
    pid_t process = -1;
    int pipe = -1;     // ffmpeg's standard input
    std::string log;   // ffmpeg's messages, read for the error line
    std::string file;  // removed when encoding fails
    std::string codec; // the video encoder chosen
    size_t frameBytes = 0;
};

// The video encoder the ffmpeg on the PATH offers: "libx264" or "mpeg4".
std::string chooseVideoCodec();

// Starts ffmpeg. Empty on success, otherwise why not.
std::string startVideo(VideoEncoder& video, const VideoSettings& settings);

// Hands one frame to ffmpeg. Empty on success; on failure the encoder is
// finished and the file removed.
std::string writeVideoFrame(VideoEncoder& video, const uint8_t* rgb);

// Closes the pipe and waits for ffmpeg. Empty when the file is complete,
// otherwise ffmpeg's first message (the partial file is removed).
std::string finishVideo(VideoEncoder& video);

// Ends ffmpeg at once and removes the partial file (after another failure).
void abandonVideo(VideoEncoder& video);
