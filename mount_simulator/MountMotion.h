#pragma once

#include <optional>

// Where the simulated mount points, as an offset from where it began: each axis turns at its
// guide rate from a move command (:Mn# :Ms# :Me# :Mw#) until the matching stop (:Qn# ...), and
// a mount that does not track at the sidereal rate lets the sky turn under it, so its right
// ascension rises by the sidereal day's second per second it lags. Right ascension is in seconds
// of time, declination in arcseconds; times are seconds on one clock, given in the order things
// happen.
//
// Each direction is a key of the handset, held from its move to its stop. A stop releases only
// its own key, as the LX200 protocol words it ("halt northward"): :Qs# leaves a north move
// running. On a good mount a move releases the opposite key, so :Ms# during a north move turns
// the axis round; a mount with separate keys keeps both held, and they cancel out until one is
// released. :Q# releases every key.
//
// A mount-timed pulse (:Mgn1000#) holds its key for its milliseconds and lets go by itself,
// unless a stop or another move on the key comes first.
class MountMotion {
public:
    // How the mount obeys; the defaults are a good mount's.
    struct Settings {
        double trackingRate = 1;               // times sidereal: 0 stands still, -1 tracks backwards
        double guideRate = 0.5;                 // times the sidereal rate, on both axes
        std::optional<double> declinationGuideRate;  // where the declination guides at another rate
        bool ignoresGuideRate = false;          // never leaves its slew rate: :RG# is lost on it
        double slewDegreesPerSecond = 8;
        bool reversedDeclination = false;       // north lowers the declination
        bool separateKeys = false;              // a move leaves the opposite direction held
        char ignoredDirection = 0;              // 'n', 's', 'e' or 'w' never moves; 0 for none
        char slowDirection = 0;                 // moves at half the guide rate; 0 for none
        double backlashArcseconds = 0;          // lost each time the declination reverses
        bool declinationStops = true;           // obeys :Qn# and :Qs#
        bool rightAscensionStops = true;        // obeys :Qe# and :Qw#
        bool obeysHalt = true;                  // obeys :Q#
        std::optional<double> mountTimedRate;   // where :Mg moves at a pulse rate of its own
        bool ignoresMountTimed = false;         // :Mg does nothing
        bool timesMountTimed = true;            // false: :Mg moves until stopped, as a plain move
    };

    // direction is 'n', 's', 'e' or 'w'.
    void move(char direction, double at, const Settings& settings);
    void stop(char direction, double at, const Settings& settings);
    void stopAll(double at, const Settings& settings);
    // :Mg: moves for ms and stops by itself.
    void timedMove(char direction, int ms, double at, const Settings& settings);

    double rightAscensionOffset(double at, const Settings& settings) const;
    double declinationOffset(double at) const { return declination_.settledAt(at).offsetAt(at); }

private:
    static constexpr double kNever = 1e300;

    // One axis and its two keys, [0] north or east, [1] south or west; its units are the offset's.
    struct Axis {
        double offset = 0;          // up to since
        double since = 0;
        double keyRate[2] = {0, 0}; // signed, per second, while the key is held
        bool held[2] = {false, false};
        int lastTurn = 0;           // the way it turned last, for the backlash of a reversal
        double slack = 0;           // still to be taken up before the axis moves
        double backlash = 0;        // as last pressed, for the keys that let go by themselves
        double releaseAt[2] = {kNever, kNever};  // when a mount-timed pulse lets go of the key

        double speed() const { return (held[0] ? keyRate[0] : 0) + (held[1] ? keyRate[1] : 0); }
        // Valid only once settled to at.
        double offsetAt(double at) const;
        // Holds or releases key at; rate (signed) is the key's while held.
        void press(int key, bool down, double rate, double backlash, double at);
        // The axis with the keys whose mount-timed pulse has run out by at let go, in turn.
        Axis settledAt(double at) const;
    };

    static bool onDeclination(char direction) { return direction == 'n' || direction == 's'; }
    static int keyOf(char direction) { return direction == 'n' || direction == 'e' ? 0 : 1; }
    // The axis of direction, settled to at.
    Axis& axisOf(char direction, double at);
    // Per second, signed, in the axis's own units: the guide rate given, or the slew rate.
    static double rateOf(char direction, double guideRate, const Settings& settings);

    Axis rightAscension_;
    Axis declination_;
};
