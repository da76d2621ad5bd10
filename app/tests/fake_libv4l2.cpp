// A camera driver behind libv4l2's functions, for the V4L2 camera's tests: a 64 x 48 RGB
// camera whose buffer queue behaves as the kernel's does. A buffer is filled only while it
// is queued and the stream is on; stopping the stream takes every buffer back from the
// driver, and only VIDIOC_QBUF hands one over again. Its controls are an absolute exposure
// time (in 100 µs) and a gain, which it keeps within their ranges as the kernel's control
// framework does.
#include "fake_libv4l2.h"

#include <libv4l2.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace fake_v4l2 {

std::atomic<long> empty_polls{0};
int exposure = 156, gain = 32;
int exposure_auto = V4L2_EXPOSURE_APERTURE_PRIORITY;
std::atomic<bool> lost{false};
std::atomic<long> lost_calls{0};

namespace {

constexpr int width = 64, height = 48, frame_bytes = width * height * 3;
std::mutex lock;
bool queued[4] = {};
int buffers = 0;
bool streaming = false;

struct Control {
    __u32 id;
    const char* name;
    __s32 minimum, maximum, step;
    int* value;
};
const Control controls[] = {
    {V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", 0, 3, 1, &exposure_auto},
    {V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", 3, 2047, 1, &exposure},
    {V4L2_CID_GAIN, "Gain", 0, 255, 1, &gain},
};

const Control* control(__u32 id) {
    for (const Control& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

int answer(unsigned long request, void* arg) {
    switch (request) {
    case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        const Control* c = nullptr;
        if (q->id & V4L2_CTRL_FLAG_NEXT_CTRL) { // the first control past the id asked
            const __u32 after = q->id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
            for (const Control& k : controls)
                if (k.id > after && (!c || k.id < c->id)) c = &k;
        } else {
            c = control(q->id);
        }
        if (!c) {
            errno = EINVAL;
            return -1;
        }
        *q = {};
        q->id = c->id;
        q->type = V4L2_CTRL_TYPE_INTEGER;
        std::snprintf(reinterpret_cast<char*>(q->name), sizeof q->name, "%s", c->name);
        q->minimum = c->minimum;
        q->maximum = c->maximum;
        q->step = c->step;
        return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto* v = static_cast<v4l2_control*>(arg);
        const Control* c = control(v->id);
        if (!c) {
            errno = EINVAL;
            return -1;
        }
        // as a UVC camera: the exposure time stays the automatic one's until that is manual
        const bool overridden =
            c->id == V4L2_CID_EXPOSURE_ABSOLUTE && exposure_auto != V4L2_EXPOSURE_MANUAL;
        if (request == VIDIOC_S_CTRL && !overridden)
            *c->value = std::clamp(v->value, c->minimum, c->maximum);
        v->value = *c->value;
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        f->fmt.pix.width = width;
        f->fmt.pix.height = height;
        f->fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24;
        f->fmt.pix.bytesperline = width * 3;
        f->fmt.pix.sizeimage = frame_bytes;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        buffers = r->count ? 4 : 0;
        r->count = __u32(buffers);
        for (bool& q : queued) q = false;
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        b->length = frame_bytes;
        b->m.offset = b->index * 4096;
        return 0;
    }
    case VIDIOC_QBUF:
        queued[static_cast<v4l2_buffer*>(arg)->index] = true;
        return 0;
    case VIDIOC_DQBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (lost) {
            ++lost_calls;
            errno = ENODEV;
            return -1;
        }
        for (int i = 0; streaming && i < buffers; ++i)
            if (queued[i]) {
                queued[i] = false;
                b->index = __u32(i);
                b->bytesused = frame_bytes;
                return 0;
            }
        ++empty_polls;
        errno = EAGAIN;
        return -1;
    }
    case VIDIOC_STREAMON:
        streaming = true;
        return 0;
    case VIDIOC_STREAMOFF:
        streaming = false;
        for (bool& q : queued) q = false;
        return 0;
    default:
        errno = EINVAL;
        return -1;
    }
}

} // namespace

} // namespace fake_v4l2

extern "C" {

// an event counter that is always readable stands in for the device node
int v4l2_open(const char*, int, ...) {
    return eventfd(1, EFD_CLOEXEC);
}
int v4l2_close(int fd) {
    return close(fd);
}
// Every pixel of every frame: red 10, green 20, blue 30.
void* v4l2_mmap(void*, size_t length, int, int, int, int64_t) {
    auto* bytes = static_cast<unsigned char*>(malloc(length));
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(10 * (i % 3 + 1));
    return bytes;
}
int v4l2_munmap(void* start, size_t) {
    free(start);
    return 0;
}
int v4l2_ioctl(int, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    std::lock_guard<std::mutex> hold(fake_v4l2::lock);
    return fake_v4l2::answer(request, arg);
}

} // extern "C"
