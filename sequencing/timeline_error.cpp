#include "sequencing/timeline_error.h"

#include <utility>

TimelineError timelineFailure(std::string message, std::string detail) {
    return {kTimelineModule, std::move(message), std::move(detail)};
}
