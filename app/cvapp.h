#pragma once
// The second layer of the application object: the data dictionary, the file manager
// of the data directory, the table caches, the object-type registration and the
// report engine handle. It fills the storage layer's application seams
// (storage/cvstorageapp.h): the data directory, the dictionary, the file manager and
// the cache manager, and empties them again when it goes.
//
// Lifecycle. The dictionary is made by NewDictionary when first asked for (a product
// gives its own) and lives until ReleaseDatabase; ReplaceDictionary starts a fresh one
// (a start-up that runs again must load into an empty dictionary). The file manager is
// created on first use, once the data directory is set and the dictionary holds
// tables, and follows the data directory from then on. Every object handed out lives
// until ReleaseDatabase or the application's end.
//
// Threads: the user-interface thread only.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/cvreportengine.h"
#include "app/cvwinapp.h"

class cvCacheMgr;
class cvDataDict;
class cvFile;
class cvFileMgr;

class cvApp : public cvWinApp {
  public:
    // Registers the program's business-object types (the paging objects fill it in).
    using ObjectTypeRegistrar = std::function<void()>;

    explicit cvApp(std::unique_ptr<platform::Profile> profile = nullptr);
    ~cvApp() override;

    // The dictionary (never null; empty until loaded).
    cvDataDict& Dictionary();
    // Drops the dictionary and the file manager and starts an empty dictionary.
    void ReplaceDictionary();
    // The data directory the file manager works on (ends with "/"; empty: none yet).
    virtual std::string DataDirectory() const;
    // The file manager of the data directory, created on first use; null while the
    // data directory is empty or the dictionary holds no table.
    cvFileMgr* FileManager();
    // A table through the file manager (storage/cvfilemgr.h); null without one. A
    // missing data file is created first, so that opening a table the database has
    // not needed yet is no error to report.
    cvFile* OpenTable(std::string_view table, int mode = 0);
    // Closes every open table of the file manager.
    void CloseTables();

    // The table caches: made here and handed to the storage layer, which gives every
    // table the product lists for caching a cache of its own (this product lists none).
    void RegisterCaches();
    cvCacheMgr* CacheManager() const { return caches_.get(); }

    void SetObjectTypeRegistrar(ObjectTypeRegistrar registrar);
    // Runs the registrar once per run; nothing without one.
    void RegisterObjectTypes();
    bool ObjectTypesRegistered() const { return object_types_registered_; }

    cvReportEngine& ReportEngine() { return report_engine_; }

  protected:
    // The dictionary the application works with; the framework's by default.
    virtual std::unique_ptr<cvDataDict> NewDictionary();
    // Points the file manager (when one exists) and the storage seams at DataDirectory().
    void ApplyDataDirectory();
    // Told when the file manager is created (the new one) and before it goes (null).
    virtual void FileManagerChanged(cvFileMgr* manager);
    // Releases the file manager (closing its tables), the caches and the dictionary,
    // and empties the storage seams.
    void ReleaseDatabase();

  private:
    std::unique_ptr<cvDataDict> dictionary_;
    std::unique_ptr<cvFileMgr> file_manager_;
    std::unique_ptr<cvCacheMgr> caches_;
    ObjectTypeRegistrar registrar_;
    bool object_types_registered_ = false;
    cvReportEngine report_engine_;
};
