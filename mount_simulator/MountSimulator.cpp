#include "mount_simulator/MountSimulator.h"

#include <random>

#include "mount_simulator/SerialMountLine.h"
#include "platform/thread_priority.h"

namespace {

constexpr int kReadCapacity = 256;

}  // namespace

MountSimulator::MountSimulator(int portNumber) : MountSimulator(SerialMountLine::open(portNumber)) {}

MountSimulator::MountSimulator(std::unique_ptr<MountLine> line) : line_(std::move(line)) {}

MountSimulator::~MountSimulator() { stop(); }

bool MountSimulator::start()
{
    // Without its stop event the reader could never be told to end.
    if (started_ || !line_ || !stopReading_.valid()) return false;
    started_ = true;
    startedAt_ = Clock::now();
    // The mount's civil clock reads the host's from the same second zero as its commands.
    mount_.setSite(MountSite::onHostClock());
    {
        std::lock_guard<std::mutex> hold(mutex_);
        serving_ = true;
    }
    if (!reader_.start(&MountSimulator::runReader, this) || !answerer_.start(&MountSimulator::runAnswerer, this)) {
        stop();
        return false;
    }
    return true;
}

void MountSimulator::stop()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
        serving_ = false;
    }
    changed_.notify_all();
    stopReading_.set();
    reader_.waitForEnd(platform::kWaitForever);
    answerer_.waitForEnd(platform::kWaitForever);
    std::lock_guard<std::mutex> hold(writing_);
    line_.reset();
}

bool MountSimulator::serving() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return serving_;
}

void MountSimulator::setBehaviour(const MountBehaviour& behaviour)
{
    std::lock_guard<std::mutex> hold(mutex_);
    behaviour_ = behaviour;
}

std::string MountSimulator::position() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return mount_.position(behaviour_, millisecondsSinceStart() / 1000.0);
}

std::vector<ReceivedCommand> MountSimulator::commands() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return commands_;
}

bool MountSimulator::waitForCommands(std::size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return commands_.size() >= count; });
}

void MountSimulator::send(const std::string& bytes)
{
    write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

void MountSimulator::sendNoise(std::size_t count, unsigned seed)
{
    // The engine's output is fixed by the standard, unlike its distributions'.
    std::mt19937 random(seed);
    std::string noise(count, '\0');
    for (char& byte : noise) byte = static_cast<char>(random() & 0xFF);
    send(noise);
}

void MountSimulator::runReader(void* simulator) { static_cast<MountSimulator*>(simulator)->readUntilStopped(); }

void MountSimulator::runAnswerer(void* simulator) { static_cast<MountSimulator*>(simulator)->answerUntilStopped(); }

void MountSimulator::readUntilStopped()
{
    // The mount's clock: each command is timed as it is read.
    platform::runCallingThreadForTiming();
    unsigned char buffer[kReadCapacity];
    for (;;) {
        const platform::SerialReadResult got = line_->read(buffer, kReadCapacity, stopReading_);
        if (got.outcome == platform::SerialReadOutcome::LineGone) {
            std::lock_guard<std::mutex> hold(mutex_);
            serving_ = false;
        }
        if (got.outcome != platform::SerialReadOutcome::Data) return;
        const double milliseconds = millisecondsSinceStart();
        for (std::string& text : mount_.receive(buffer, static_cast<std::size_t>(got.count))) {
            record({milliseconds, std::move(text)});
        }
        const std::string stray = mount_.takeStray();
        if (observer_ && !stray.empty()) observer_->strayBytes(milliseconds, stray);
    }
}

void MountSimulator::record(const ReceivedCommand& command)
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        commands_.push_back(command);
    }
    changed_.notify_all();
    // Told before the answer is queued, so an observer hears of a command before its answer.
    if (observer_) observer_->commandReceived(command);
    {
        std::lock_guard<std::mutex> hold(mutex_);
        std::string answer = mount_.answerTo(command.text, behaviour_, command.milliseconds / 1000.0);
        if (answer.empty()) return;
        const Clock::time_point due = startedAt_ + std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(command.milliseconds + behaviour_.delayMs));
        answers_.push_back({due, std::move(answer), behaviour_.byteGapMs});
    }
    changed_.notify_all();
}

void MountSimulator::answerUntilStopped()
{
    for (;;) {
        PendingAnswer answer;
        {
            std::unique_lock<std::mutex> hold(mutex_);
            changed_.wait(hold, [this] { return stopping_ || !answers_.empty(); });
            if (stopping_) return;
            answer = std::move(answers_.front());
            answers_.pop_front();
        }
        if (!pauseUntil(answer.due) || !sendAnswer(answer)) continue;
        if (observer_) observer_->answerSent(millisecondsSinceStart(), answer.text);
    }
}

bool MountSimulator::sendAnswer(const PendingAnswer& answer)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(answer.text.data());
    if (answer.byteGapMs <= 0) return write(bytes, answer.text.size());
    for (std::size_t i = 0; i < answer.text.size(); ++i) {
        if (i > 0 && !pauseUntil(Clock::now() + std::chrono::milliseconds(answer.byteGapMs))) return false;
        if (!write(bytes + i, 1)) return false;
    }
    return true;
}

bool MountSimulator::pauseUntil(Clock::time_point until)
{
    std::unique_lock<std::mutex> hold(mutex_);
    return !changed_.wait_until(hold, until, [this] { return stopping_; });
}

bool MountSimulator::write(const unsigned char* bytes, std::size_t count)
{
    std::lock_guard<std::mutex> hold(writing_);
    return line_ && line_->write(bytes, static_cast<int>(count));
}

double MountSimulator::millisecondsSinceStart() const
{
    return std::chrono::duration<double, std::milli>(Clock::now() - startedAt_).count();
}
