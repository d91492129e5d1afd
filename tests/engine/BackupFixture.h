#pragma once
// A private machines folder, backup file, log sink and host for backup tests.

#include "EngineFakes.h"
#include "TempFolder.h"
#include "base/Module.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/ProgressLog.h"
#include "platform/DefaultMachine.h"
#include "platform/EmulatedMachine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace orvex::test {

class TBackupFixture : public ::testing::Test {
protected:
    TTempFolder Folder;
    TMemoryLogSink Sink;
    TMemoryHost Host;
    TEngineHostScope Scope{&Sink, &Host};
    std::filesystem::path File = Folder.File("Metabase.xml");

    void SetUp() override {
        std::filesystem::create_directories(Folder.File("machines"));
        setenv("ORVEX_MACHINES", Folder.File("machines").c_str(), 1);
        CloseMachines();
        SetBackupFileName(Folder.File16("Metabase.xml"));
        ResetCachedBackupDocument();
        InitLog();
    }
    void TearDown() override {
        CloseMachines();
        unsetenv("ORVEX_MACHINES");
        ResetCachedBackupDocument();
        SetBackupFileName(u"");
    }

    // A copy of the default machine, changed by edit, under name ("localhost" for
    // the local machine).
    template <class TEdit>
    void MakeMachine(const std::u16string& name, TEdit edit) {
        TMachineState state = BuildDefaultMachineState(name == u"localhost" ? ComputerName() : name);
        edit(state);
        CreateMachine(name, state);
    }

    void PlantFaults(const std::string& machineFolder, const std::string& text) {
        std::ofstream(Folder.File("machines") / machineFolder / "Faults.txt", std::ios::binary) << text;
        CloseMachines();
    }

    std::string FileBytes() const { return ReadBytes(File); }
};

// A fixture with a document in memory holding one empty `Machine` element.
class TMachineElementFixture : public TBackupFixture {
protected:
    std::unique_ptr<TWideXmlDocument> Document = NewBackupDocument();
    TWideXmlNode* Machine = nullptr;

    void SetUp() override {
        TBackupFixture::SetUp();
        Document->Root()->SetName(u"Root");
        Machine = Document->Root()->NodeNew(u"Machines")->NodeNew(u"Machine");
        Machine->AttributeAdd(u"path", u"w3svc");
    }
};

} // namespace orvex::test
