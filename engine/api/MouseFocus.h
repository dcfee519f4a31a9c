// Whether the mouse movement of the latest input poll belongs to the player.
#pragma once

namespace World::Api {

// The frame loop calls this after every input poll with the window's focus
// before and after it; "GetMouseDelta" reports no movement unless both are set.
void NoteFocusAroundPoll(bool focusedBefore, bool focusedAfter);
// The pointer was captured or freed by the host: the next polls' movement is its jump, not the player's.
void NotePointerMoved();

}  // namespace World::Api
