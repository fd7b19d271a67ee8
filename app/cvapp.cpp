#include "app/cvapp.h"

#include <filesystem>

#include "storage/cvcachemgr.h"
#include "storage/cvdatadict.h"
#include "storage/cvfilemgr.h"
#include "storage/cvstorageapp.h"

cvApp::cvApp(std::unique_ptr<platform::Profile> profile) : cvWinApp(std::move(profile)) {}

cvApp::~cvApp() {
    ReleaseDatabase();
}

std::unique_ptr<cvDataDict> cvApp::NewDictionary() {
    return std::make_unique<cvDataDict>();
}

cvDataDict& cvApp::Dictionary() {
    if (!dictionary_) {
        dictionary_ = NewDictionary();
        StorageApp().SetDictionary(dictionary_.get());
    }
    return *dictionary_;
}

void cvApp::ReplaceDictionary() {
    ReleaseDatabase();
    static_cast<void>(Dictionary());
}

std::string cvApp::DataDirectory() const {
    return {};
}

cvFileMgr* cvApp::FileManager() {
    if (file_manager_) {
        return file_manager_.get();
    }
    const std::string directory = DataDirectory();
    if (directory.empty() || Dictionary().Tables().empty()) {
        return nullptr;
    }
    file_manager_ = std::make_unique<cvFileMgr>(directory, &Dictionary());
    StorageApp().SetDataDirectory(directory);
    StorageApp().SetFileManager(file_manager_.get());
    FileManagerChanged(file_manager_.get());
    return file_manager_.get();
}

cvFile* cvApp::OpenTable(std::string_view table, int mode) {
    cvFileMgr* manager = FileManager();
    if (!manager) {
        return nullptr;
    }
    const cvDDFile* definition = Dictionary().FindTable(table);
    std::error_code error;
    if (definition && !IsTemporaryFileName(definition->FileName()) &&
        !std::filesystem::exists(manager->DataDirectory() + definition->FileName(), error)) {
        // A failure is reported by the create; the open below then fails as well.
        std::string path;
        static_cast<void>(manager->CreateFile(table, &path));
    }
    return manager->OpenTable(table, mode);
}

void cvApp::CloseTables() {
    if (file_manager_) {
        file_manager_->CloseFiles();
    }
}

void cvApp::ApplyDataDirectory() {
    const std::string directory = DataDirectory();
    StorageApp().SetDataDirectory(directory);
    if (file_manager_ && file_manager_->DataDirectory() != directory) {
        file_manager_->SetDataDirectory(directory);
    }
}

void cvApp::RegisterCaches() {
    if (!caches_) {
        caches_ = std::make_unique<cvCacheMgr>();
        StorageApp().SetCacheManager(caches_.get());
    }
}

void cvApp::SetObjectTypeRegistrar(ObjectTypeRegistrar registrar) {
    registrar_ = std::move(registrar);
}

void cvApp::RegisterObjectTypes() {
    if (object_types_registered_) {
        return;
    }
    object_types_registered_ = true;
    if (registrar_) {
        registrar_();
    }
}

void cvApp::FileManagerChanged(cvFileMgr*) {}

void cvApp::ReleaseDatabase() {
    if (file_manager_) {
        FileManagerChanged(nullptr);
    }
    // The storage layer must not reach objects that are about to go.
    if (StorageApp().FileManager() == file_manager_.get()) {
        StorageApp().SetFileManager(nullptr);
    }
    if (caches_ && StorageApp().CacheManager() == caches_.get()) {
        StorageApp().SetCacheManager(nullptr);
    }
    if (dictionary_ && StorageApp().Dictionary() == dictionary_.get()) {
        StorageApp().SetDictionary(nullptr);
    }
    caches_.reset();
    file_manager_.reset();
    dictionary_.reset();
}
