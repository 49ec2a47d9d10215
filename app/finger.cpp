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
                // A move to where the finger already is, at the same instant, changes nothing
                // (the mouse reports such moves in bursts): not applied, so not recorded.
                if (event.x != lastX_ || event.y != lastY_ || nowMs != lastAtMs_) {
                    apply_(true, event.x, event.y);
                }
                break;
            case Kind::Up:
                if (nowMs < downAtMs_ + kMinimumPressMs) {
                    return downAtMs_ + kMinimumPressMs;
                }
                apply_(false, 0, 0);
                upAtMs_ = nowMs;
                break;
        }
        lastX_ = event.x;
        lastY_ = event.y;
        lastAtMs_ = nowMs;
        events_.pop_front();
    }
    return -1.0;
}

}  // namespace app
