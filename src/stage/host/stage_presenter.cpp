#include "stage/host/stage_presenter.h"

#include <algorithm>

#include "stage/host/motion.h"

#include <cstdlib>
#include <cstring>

namespace zinna::stage {

namespace {

constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;

// FNV-1a's step taken a whole word at a time (a new picture is hashed once, but it is 64 KiB at
// scale 1), with the high half folded down so that every bit of the word reaches the low bits too.
void Mix(std::uint64_t& hash, std::uint64_t word) {
    hash = (hash ^ word) * kFnvPrime;
    hash ^= hash >> 32;
}

void MixSize(std::uint64_t& hash, const acs::RgbaImage& picture) {
    Mix(hash, static_cast<std::uint32_t>(picture.width));
    Mix(hash, static_cast<std::uint32_t>(picture.height));
}

}  // namespace

PictureHashes HashPicture(const acs::RgbaImage& picture) {
    PictureHashes hashes{kFnvOffset, kFnvOffset};
    MixSize(hashes.pixels, picture);
    MixSize(hashes.outline, picture);
    const std::size_t size = picture.rgba.size();
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {  // two pixels a step
        std::uint64_t word;
        std::memcpy(&word, &picture.rgba[i], sizeof word);
        Mix(hashes.pixels, word);
    }
    if (i < size) {
        std::uint64_t tail = 0;
        std::memcpy(&tail, &picture.rgba[i], size - i);
        Mix(hashes.pixels, tail);
    }
    // Which pixels are opaque, 64 to a word.
    std::uint64_t opaque = 0;
    std::size_t pixel = 0;
    for (std::size_t alpha = 3; alpha < size; alpha += 4, ++pixel) {
        opaque |= static_cast<std::uint64_t>(picture.rgba[alpha] != 0) << (pixel % 64);
        if (pixel % 64 == 63) {
            Mix(hashes.outline, opaque);
            opaque = 0;
        }
    }
    if (pixel % 64 != 0) Mix(hashes.outline, opaque);
    return hashes;
}

StagePresenter::StagePresenter(StageCharacter& character, StageSurface& surface, Post post, DoubleClickRule rule,
                               std::size_t keptPictureBytes)
    : character_(character),
      surface_(surface),
      post_(std::move(post)),
      rule_(rule),
      keptPictureBytes_(keptPictureBytes) {
    character_.SetChangeListener([this] { ShowChanges(); });
    // A platform's menu takes the pointer: it opens once the pointer's handling has returned.
    character_.SetMenuListener([this](int x, int y) {
        std::weak_ptr<int> alive = alive_;
        post_([this, alive, x, y] {
            if (alive.lock()) OpenMenu(x, y);
        });
    });
    ShowChanges();
}

StagePresenter::~StagePresenter() {
    CancelPendingMove();
    if (held_) EndHold();
    character_.SetChangeListener(nullptr);
    character_.SetMenuListener(nullptr);
}

// --- the pointer --------------------------------------------------------------------------------------

bool StagePresenter::Press(PointerButton button, int x, int y, std::uint32_t timeMs) {
    lastX_ = x;
    lastY_ = y;
    PointerInput& pointer = character_.Pointer();
    if (button == PointerButton::Right) {
        pointer.Press(PointerButton::Right, x, y, character_.X(), character_.Y());
        return false;
    }
    if (button != PointerButton::Left) return false;
    // The difference of unsigned times is right across the clock's wrap.
    const bool second =
        lastLeftPress_ && static_cast<std::uint32_t>(timeMs - lastLeftPress_->timeMs) <= rule_.intervalMs &&
        std::abs(x - lastLeftPress_->x) <= rule_.distance && std::abs(y - lastLeftPress_->y) <= rule_.distance;
    if (second) {
        lastLeftPress_.reset();  // a third press starts afresh
        leftHeld_ = false;
        pointer.DoubleClick(PointerButton::Left, x, y);
        return false;
    }
    lastLeftPress_ = LeftPress{timeMs, x, y};
    leftHeld_ = true;
    pointer.Press(PointerButton::Left, x, y, character_.X(), character_.Y());
    return true;
}

void StagePresenter::Move(int x, int y) {
    if (!leftHeld_) return;
    lastX_ = x;
    lastY_ = y;
    character_.Pointer().Move(x, y);
}

void StagePresenter::Release(PointerButton button, int x, int y) {
    if (button == PointerButton::Left) {
        if (!leftHeld_) return;  // the release of a double-click's second press
        leftHeld_ = false;
    }
    lastX_ = x;
    lastY_ = y;
    character_.Pointer().Release(button, x, y);
}

void StagePresenter::PressLost() {
    if (!leftHeld_) return;
    leftHeld_ = false;
    character_.Pointer().Release(PointerButton::Left, lastX_, lastY_);
}

// --- the menu -------------------------------------------------------------------------------------------

void StagePresenter::OpenMenu(int x, int y) {
    if (menuOpen_) return;  // one menu at a time
    menuOpen_ = true;
    surface_.PopUpMenu(character_.Menu(), x, y);
    // Nothing after this line: the menu may have closed, and its command been handled, in the call.
}

void StagePresenter::MenuClosed(std::optional<std::size_t> chosen) {
    if (!menuOpen_) return;
    std::weak_ptr<int> alive = alive_;
    // The menu goes after its own handling has returned; the command's name is read then, as the
    // entries may have changed while it was open, and the program hears of it after that.
    post_([this, alive, chosen] {
        if (!alive.lock()) return;
        menuOpen_ = false;
        surface_.RemoveMenu();
        const std::vector<MenuEntry>& entries = character_.Menu().Entries();
        if (chosen && *chosen < entries.size()) character_.ChooseCommand(entries[*chosen].name);
    });
}

// --- what is shown ----------------------------------------------------------------------------------------

void StagePresenter::ShowChanges() {
    ShowPicture();
    ShowBalloon();
    HandAhead();  // last: what the screen holds back comes after the rest of the changes
}

void StagePresenter::HandAhead() {
    // Not while the pointer or the menu is at work: their changes would wait behind the held frame.
    if (held_ || pendingMove_ || menuOpen_ || leftHeld_ || !shown_ || !shown_->visible) return;
    const std::int64_t now = character_.HostClock().NowMs();
    // A hold asked for while the screen still holds would start only when that one ends, too late.
    if (now < holdEndsMs_) return;
    const std::optional<StageCharacter::FrameAhead> ahead = character_.NextFrameAhead();
    if (!ahead) return;
    const std::int64_t delay = ahead->atMs - now;
    if (delay <= 0 || delay > kShowAheadMs) return;
    KeptPicture* next = FindKept(ahead->key);  // a picture not made yet is made when it is due
    if (!next || !surface_.HoldFor(static_cast<int>(delay))) return;
    holdEndsMs_ = ahead->atMs;
    held_ = Held{ahead->atMs, character_.ShownFrameKey(), shown_->x, shown_->y, ahead->key};
    if (next->outline != shown_->outline) surface_.SetOutline(next->id);
    surface_.ShowPicture(next->id, shown_->x, shown_->y);
    next->lastShown = ++showings_;
    ++drawings_;
    shown_ = ShownPicture{true, shown_->x, shown_->y, next->id, next->outline};
    character_.FrameShownAhead(ahead->atMs);
}

bool StagePresenter::HeldStands() {
    const std::optional<StageCharacter::FrameAhead> ahead = character_.NextFrameAhead();
    return character_.Visible() && ahead && ahead->atMs == held_->untilMs && ahead->key == held_->key &&
           character_.X() == held_->x && character_.Y() == held_->y && character_.ShownFrameKey() == held_->before;
}

void StagePresenter::EndHold() {
    const bool early = character_.HostClock().NowMs() < held_->untilMs;
    held_.reset();
    // Something came before the held frame's time: she shows her own changes again, each when due.
    // (What is drawn now still reaches the screen after the held frame.)
    if (early) character_.FrameShownAhead(std::nullopt);
}

void StagePresenter::CancelPendingMove() {
    if (pendingMove_) character_.HostClock().Cancel(*pendingMove_);
    pendingMove_.reset();
}

void StagePresenter::ShowPicture() {
    if (held_) {
        if (character_.HostClock().NowMs() < held_->untilMs && HeldStands()) return;  // as handed over
        EndHold();
    }
    if (!character_.Visible()) {
        CancelPendingMove();
        if (shown_ && shown_->visible) {
            surface_.HidePicture();
            shown_->visible = false;
        }
        return;
    }
    const FrameKey& key = character_.ShownFrameKey();
    const int x = character_.X(), y = character_.Y();
    KeptPicture& picture = Keep(key);
    picture.lastShown = ++showings_;
    if (shown_ && shown_->visible && shown_->id == picture.id) {
        // The same picture: at most a move, and one a frame; a move asked for within the frame of
        // the last move is made at that frame's end, to wherever she is by then. (Her own moves
        // come a frame apart already, and her animation's drawings at its own pace: neither waits.)
        if (shown_->x == x && shown_->y == y) return;
        Clock& clock = character_.HostClock();
        const std::int64_t now = clock.NowMs();
        if (movedMs_ && now < *movedMs_ + kMoveStepMs) {
            if (!pendingMove_)
                pendingMove_ = clock.ScheduleAt(*movedMs_ + kMoveStepMs, [this] {
                    pendingMove_.reset();
                    ShowPicture();
                });
            return;
        }
        surface_.MovePicture(x, y);
        ++moves_;
        shown_->x = x;
        shown_->y = y;
        movedMs_ = now;
        return;
    }
    CancelPendingMove();  // the drawing places her where she is
    if (!shown_ || shown_->outline != picture.outline) surface_.SetOutline(picture.id);
    surface_.ShowPicture(picture.id, x, y);
    ++drawings_;
    shown_ = ShownPicture{true, x, y, picture.id, picture.outline};
    Trim();
}

// The kept picture of the key; a picture not kept yet is composed and handed to the surface, unless
// the same pixels are kept under another key.
StagePresenter::KeptPicture* StagePresenter::FindKept(const FrameKey& key) {
    for (KeptPicture& kept : kept_)
        if (std::find(kept.keys.begin(), kept.keys.end(), key) != kept.keys.end()) return &kept;
    return nullptr;
}

StagePresenter::KeptPicture& StagePresenter::Keep(const FrameKey& key) {
    if (KeptPicture* kept = FindKept(key)) return *kept;
    const acs::RgbaImage& image = character_.FrameImage();
    const PictureHashes hashes = HashPicture(image);
    for (KeptPicture& kept : kept_)
        if (kept.pixels == hashes.pixels) {
            kept.keys.push_back(key);
            return kept;
        }
    KeptPicture added;
    added.id = nextId_++;
    added.keys.push_back(key);
    added.scale = key.scale;
    added.bytes = image.rgba.size();
    added.pixels = hashes.pixels;
    added.outline = hashes.outline;
    surface_.AddPicture(added.id, image);
    ++additions_;
    keptBytes_ += added.bytes;
    kept_.push_back(std::move(added));
    return kept_.back();
}

// Pictures of another scale will not be shown again; of the rest, those shown longest ago go until
// the kept ones fit the bound. The picture shown stays.
void StagePresenter::Trim() {
    const auto forget = [this](std::vector<KeptPicture>::iterator it) {
        surface_.ForgetPicture(it->id);
        keptBytes_ -= it->bytes;
        return kept_.erase(it);
    };
    const double scale = character_.ShownFrameKey().scale;
    for (auto it = kept_.begin(); it != kept_.end();)
        it = it->scale != scale && it->id != shown_->id ? forget(it) : it + 1;
    while (keptBytes_ > keptPictureBytes_) {
        auto oldest = kept_.end();
        for (auto it = kept_.begin(); it != kept_.end(); ++it)
            if (it->id != shown_->id && (oldest == kept_.end() || it->lastShown < oldest->lastShown)) oldest = it;
        if (oldest == kept_.end()) return;
        forget(oldest);
    }
}

void StagePresenter::PicturesStale() {
    if (held_) EndHold();
    for (const KeptPicture& kept : kept_) surface_.ForgetPicture(kept.id);
    kept_.clear();
    keptBytes_ = 0;
    const bool visible = shown_ && shown_->visible;
    shown_.reset();
    if (visible) ShowPicture();
}

void StagePresenter::ShowBalloon() {
    const std::optional<BalloonLayout>& layout = character_.Balloon();
    if (!layout || !character_.Visible()) {
        if (balloon_) {
            surface_.HideBalloon();
            balloon_.reset();
        }
        return;
    }
    ShownBalloon wanted{*layout, character_.BalloonLinesShown()};
    if (balloon_ && *balloon_ == wanted) return;
    surface_.ShowBalloon(wanted.layout, wanted.lines);
    balloon_ = std::move(wanted);
}

}  // namespace zinna::stage
