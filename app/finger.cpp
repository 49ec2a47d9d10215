#include "finger.hpp"

namespace app {

double Finger::apply(double nowMs) {
    while (!events_.empty()) {
        const Event event = events_.front();
        switch (event.kind) {
            case Kind::Down:
                if (nowMs < upAtMs_ + kMinimumReleaseMs) {
                    return upAtMs_ + kMinimumReleaseMs;
                }
                apply_(true, event.x, event.y);
                downAtMs_ = nowMs;
                break;
            case Kind::Move:
                apply_(true, event.x, event.y);
                break;
            case Kind::Up:
                if (nowMs < downAtMs_ + kMinimumPressMs) {
                    return downAtMs_ + kMinimumPressMs;
                }
                apply_(false, 0, 0);
                upAtMs_ = nowMs;
                break;
        }
        events_.pop_front();
    }
    return -1.0;
}

}  // namespace app
