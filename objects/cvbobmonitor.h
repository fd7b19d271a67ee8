#pragma once
// Observers of saved objects and deleted rows, process-wide. A monitor enters itself
// in one list when constructed and leaves it when destroyed. After a Save that stored
// or deleted something in an object or below it, every monitor is told ObjectSaved of
// that object, in list order; every row a save deletes from the pending deletes is
// told as ObjectDeleted. List views of objects are monitors.
//
// Threads: saves run on the user-interface thread or the engine thread, and each is
// announced on the thread that made it. The list is guarded by the recursive mutex in
// cvbobmonitor.cpp, held during each announcement, so a monitor leaves the list only
// between announcements, and a monitor may construct or destroy monitors from inside
// its calls. A monitor must not wait for another thread inside them (post to it
// instead), since that thread may be waiting for the mutex.
//
// The base constructor runs before the derived class's, and its destructor after: a
// monitor that may be told on another thread is constructed with `enter_now` false and
// calls StartMonitoring() last in its own constructor and StopMonitoring() first in its
// destructor, so that it is never told while only partly there.

class cvBob;
class cvRec;

class cvBobMonitor {
  public:
    // Enters the list at once, or with `enter_now` false when StartMonitoring is called.
    explicit cvBobMonitor(bool enter_now = true);
    cvBobMonitor(const cvBobMonitor&) = delete;
    cvBobMonitor& operator=(const cvBobMonitor&) = delete;

    // Virtual operations, in their fixed order.
    //
    // The object was saved; valid only during the call.
    virtual void ObjectSaved(cvBob& object) = 0;
    // The row was deleted (the record now reads as a new, unstored one); valid only
    // during the call. Does nothing unless refined.
    virtual void ObjectDeleted(const cvRec& record);
    virtual ~cvBobMonitor();

  protected:
    // Enters the list (at its end); nothing when already in.
    void StartMonitoring();
    // Leaves the list now (waiting for an announcement in progress on another thread);
    // nothing when already out. The destructor does it too.
    void StopMonitoring();

  private:
    bool listed_ = false;  // guarded by the list's mutex
};

// Tell every monitor, in list order.
void AnnounceObjectSaved(cvBob& object);
void AnnounceObjectDeleted(const cvRec& record);
