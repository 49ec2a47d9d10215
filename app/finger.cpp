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
                touch_.press(event.x, event.y);
                downAtMs_ = nowMs;
                if (applied_) {
                    applied_(true, event.x, event.y);
                }
                break;
            case Kind::Move:
                touch_.press(event.x, event.y);
                if (applied_) {
                    applied_(true, event.x, event.y);
                }
                break;
            case Kind::Up:
                if (nowMs < downAtMs_ + kMinimumPressMs) {
                    return downAtMs_ + kMinimumPressMs;
                }
                touch_.release();
                upAtMs_ = nowMs;
                if (applied_) {
                    applied_(false, 0, 0);
                }
                break;
        }
        events_.pop_front();
    }
    return -1.0;
}

}  // namespace app
