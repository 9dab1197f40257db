#pragma once

// Where the simulated mount points, as an offset from where it began: each axis turns at its
// guide rate from a move command (:Mn# :Ms# :Me# :Mw#) until the matching stop (:Qn# ...), and
// a mount that is not tracking lets the sky turn under it, so its right ascension rises by the
// sidereal day's second per second. Right ascension is in seconds of time, declination in
// arcseconds; times are seconds on one clock, given in the order things happen.
class MountMotion {
public:
    // How the mount obeys; the defaults are a good mount's.
    struct Settings {
        bool tracking = true;
        double guideRate = 0.5;                 // times the sidereal rate, on both axes
        bool reversedDeclination = false;       // north lowers the declination
        char ignoredDirection = 0;              // 'n', 's', 'e' or 'w' never moves; 0 for none
        char slowDirection = 0;                 // moves at half the guide rate; 0 for none
        double backlashArcseconds = 0;          // lost each time the declination reverses
        bool obeysStops = true;
    };

    // direction is 'n', 's', 'e' or 'w'.
    void move(char direction, double at, const Settings& settings);
    void stop(char direction, double at, const Settings& settings);
    void stopAll(double at, const Settings& settings);

    double rightAscensionOffset(double at, const Settings& settings) const;
    double declinationOffset(double at) const { return declination_.offsetAt(at); }

private:
    // One axis, turning one way at a time; its units are the offset's.
    struct Axis {
        double offset = 0;     // up to the start of the move running now, if one is
        int turning = 0;       // +1, -1, or 0 at rest
        double since = 0;
        double rate = 0;       // per second, while turning
        int lastTurn = 0;      // the way it turned last, for the backlash of a reversal
        double slack = 0;      // still to be taken up before the axis moves

        double offsetAt(double at) const;
        void start(int way, double rate, double backlash, double at);
        void halt(double at);
    };

    Axis& axisOf(char direction) { return direction == 'n' || direction == 's' ? declination_ : rightAscension_; }

    Axis rightAscension_;
    Axis declination_;
};
