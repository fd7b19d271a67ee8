#pragma once
// The import of an older release's files into an empty database: its networks
// (TVNET.DAT, table OLDNET), devices and groups (TVUSER.DAT, OLDDEV), group memberships
// (OLDGROUP) and, with Alarm Watch, monitored equipment (OLDEQUIP). The older files
// name their references by description; the import gives every imported row its new
// number and translates the references. Rows are written through the record layer,
// so the checks of the property pages do not apply.
//
// Rules:
// - nothing is imported unless PAGEDEV, PAGENET and PAGEGRP are all empty;
// - a location without TVNET.DAT or TVUSER.DAT is reported and asked for again;
// - networks are inserted together, after all have been read (a failure stops the
//   import); they keep the defaults of a new network (protocol 1) besides the fields
//   copied;
// - a device whose network is not among the imported ones is reported ("Network %s not
//   found\n") and skipped; groups (a description beginning with "*") need no network;
// - a membership naming a group or device that was not imported is dropped silently;
// - equipment is imported only with Alarm Watch on and an empty MONEQUIP; a pager that
//   is not among the imported devices and groups is reported and the equipment stored
//   without one.
// An older installation without a group file imports its networks and devices without
// memberships: only the network and device files are required.

#include <functional>
#include <memory>
#include <optional>
#include <string>

class cvFile;
class cvFileMgr;
class tvApp;

enum class tvImportResult {
    kImported,
    kNotEmpty,   // the database already holds devices, networks or memberships
    kCancelled,  // no location given (any more)
    kFailed,     // a table could not be opened or the networks not stored
};

struct tvImportCounts {
    int networks = 0;
    int devices = 0;
    int groups = 0;
    int memberships = 0;
    int equipment = 0;
};

class tvImport {
  public:
    // Asked for the directory of the older files; nothing: cancel.
    using LocationSource = std::function<std::optional<std::string>()>;

    explicit tvImport(tvApp& app);
    ~tvImport();
    tvImport(const tvImport&) = delete;
    tvImport& operator=(const tvImport&) = delete;

    // Imports into the application's database. Messages go through the message box.
    [[nodiscard]] tvImportResult Run(const LocationSource& ask_location);
    const tvImportCounts& Imported() const { return counts_; }

  private:
    struct ImportedRows;
    [[nodiscard]] bool OpenOlderFiles(const std::string& location);
    [[nodiscard]] bool ImportNetworks(ImportedRows& imported);
    void ImportDevices(ImportedRows& imported);
    void ImportMemberships(const ImportedRows& imported);
    void ImportEquipment(const ImportedRows& imported);

    tvApp& app_;
    std::unique_ptr<cvFileMgr> older_;
    cvFile* old_net_ = nullptr;
    cvFile* old_dev_ = nullptr;
    cvFile* old_group_ = nullptr;
    tvImportCounts counts_;
};
