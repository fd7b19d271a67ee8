#include "storage/dbstatus.h"

#include <cstdio>

namespace {

struct CodeText {
    int code;
    const char* text;
};

// The texts the program shows for record-manager statuses, searched from the top.
constexpr CodeText kStatusTexts[] = {
    {1, "The Operation Parameter is Invalid."},
    {2, "The Application Encountered an I/O Error."},
    {3, "The File is Not Open."},
    {4, "The Application Cannot Find the Key Value."},
    {5, "The Record has a Key Field Containing a Duplicate Key Value."},
    {6, "The Key Number Parameter is Invalid."},
    {7, "The Key Number has Changed."},
    {8, "The Current Positioning is Invalid."},
    {9, "The Operation Encountered an End-Of-File Mark."},
    {10, "The Key Field is Not Modifiable."},
    {11, "The Specified Filename is Invalid."},
    {12, "Btrieve Cannot Find the Specified File."},
    {13, "Btrieve Cannot Find the Extension File."},
    {14, "Btrieve Cannot Create or Open the Pre-Image File."},
    {15, "The Application Encountered an I/O Error During Pre-Imaging."},
    {16, "The Application Encountered an Expansion Error."},
    {17, "The Application Encountered a Close Error."},
    {18, "The Disk is Full."},
    {19, "The Application Encountered an UnRecoverable Error."},
    {20, "The Record Manager or Requester is Inactive."},
    {21, "The Key Buffer Parameter is too Short."},
    {22, "The Data Buffer Parameter is too Short."},
    {23, "The Position Block Parameter is Not 128 Bytes Long."},
    {24, "The page Size or Data Buffer Size is Invalid."},
    {25, "The Application Cannot Create the Specified File."},
    {26, "The Number of Keys Specified is Invalid."},
    {27, "The Key Position is Invalid."},
    {28, "The Record Length is Invalid."},
    {29, "The Key Length is Invalid."},
    {30, "The File Specified is Not a Btrieve File."},
    {31, "The File is Already Extended."},
    {32, "The File Cannot be Extended."},
    {34, "The Specified Extension Name is Invalid."},
    {35, "The Application Encountered a Directory Error."},
    {36, "The Application Encountered a Transaction Error."},
    {37, "Another Transaction is Active."},
    {38, "Btrieve Encountered a Transaction Control File I/O Error."},
    {39, "A Begin Transaction Operation Must Precede an End/Abort Transaction Operation."},
    {40, "The File Access Request Exceeds the Maximum Number of Files Allowed."},
    {41, "Btrieve Does Not Allow the Attempted Operation."},
    {42, "A File Previously Opened in Accelerated Mode Was Not Closed."},
    {43, "The Specified Record Address is Invalid."},
    {44, "The Specified Key Path is Invalid."},
    {45, "The Specified Key Flags are Invalid."},
    {46, "Access to the Requested File is Denied."},
    {47, "The Number of Files Opened Exceeds the Maximum Allowed."},
    {48, "The Alternate Collating Sequence Definition is Invalid."},
    {49, "The Extended Key Type is Invalid."},
    {50, "The File Owner is Already Set."},
    {51, "The Owner Name is Invalid."},
    {52, "Error Writing to Cache Buffer"},
    {53, "The Language Interface Version is Invalid."},
    {54, "The Variable Length Portion of the Record is Corrupt."},
    {55, "The Application Specified an Invalid Attribute for an Auto-Increment Key."},
    {56, "An Index is Incomplete."},
    {57, "Expand Memory Error"},
    {58, "The Compression Buffer Length is too Short."},
    {59, "The Specified File Already Exists."},
    {60, "The Specified Reject Count has Been Reached."},
    {61, "The Work Space is too Small."},
    {62, "The Descriptor is Incorrect."},
    {63, "The Data Buffer Parameter Specified on an Insert Extended Operation is Invalid."},
    {64, "The Filter Limit has been Reached."},
    {65, "The Field Offset is Incorrect."},
    {66, "The Maximum Number of Open Databases has been Exceeded."},
    {67, "Btrieve Cannot Open the SQL Data Dictionaries."},
    {68, "Btrieve Cannot Perform the RI Delete Cascade Operation."},
    {69, "The Delete Operation Specified a File that is Damaged."},
    {71, "There is a Violation of the RI Definitions."},
    {72, "Btrieve Cannot Open the RI-Referenced File."},
    {73, "The RI Definition is out of Sync."},
    {74, "Btrieve Aborted the Transaction."},
    {76, "There is a Conflict on the Referenced File."},
    {77, "The Aplication Encountered a Wait Error."},
    {78, "Btrieve Detected a Deadlock Condition."},
    {79, "A Programming Error Occurred."},
    {80, "Btrieve Encountered a Record-Level Conflict."},
    {81, "Btrieve Encountered a Lock Error."},
    {82, "Btrieve Lost Positioning."},
    {83, "Btrieve Attempted to Read a Record Outside the Transaction."},
    {84, "The Record or Page is Locked."},
    {85, "The File is Locked."},
    {86, "The File Table is Full."},
    {87, "The Handle Table is Full."},
    {88, "The Application Encountered an Incompatible Mode Error."},
    {90, "Redir Dev Full."},
    {91, "The Application Encountered a Server Error."},
    {92, "The Transaction Table is Full."},
    {93, "The Record Lock Types are Incompatible."},
    {94, "The Application Encountered a Permission Error."},
    {95, "The Session is no Longer Valid."},
    {96, "A Communications Environment Error Occurred."},
    {97, "The Data Buffer is too Small."},
    {98, "Btrieve Detected an Internal Transaction Error."},
    {99, "Btrieve Requester Unable to Access NetWare Runtime Server."},
    {100, "No Cache Buffers are Available."},
    {101, "Insufficient Operating System Memory is Available."},
    {102, "Insufficient Stack Space is Available."},
    {103, "The Chunk Offset is too Big."},
    {104, "Btrieve Does Not Recognize the Locale."},
    {105, "The File Cannot be Created with Variable-Tail Allocation Tables."},
    {106, "The Chunk Cannot Perform a GET NEXT Operation."},
    {107, "The Application Attempted to Perform a Chunk Operation on a Pre-V6.0 File."},
    {109, "The Application's Transaction has Become too Complex."},
    {130, "Btrieve Ran out of System Locks."},
    {133, "More than 5 ConCurrent Users Attempted to Access the Same Btrieve File."},
    {1001, "The Lock Parameter is out of Range."},
    {1002, "A Memory Allocation Error Occurred."},
    {1003, "An Invalid Memory Size Parameter was Specified."},
    {1005, "The Pre-Image/Lock Drive Parameter is Invalid."},
    {1007, "The File Parameter is out of Range."},
    {1008, "The Initialization Parameter is Invalid."},
    {1009, "The Transaction Filename Parameter is Invalid."},
    {1010, "An Error Occurred During the Access of the Transaction Control File."},
    {1011, "The Compression Buffer Parameter is out of Range."},
    {1013, "The Task List is Full."},
    {1014, "Stop Warning. The Application Still has Files or Transactions Active."},
    {1015, "One of the Pointer Parameters Passed to Btrieve is Invalid."},
    {1016, "Btrieve is Already Initialized."},
    {1017, "Btrieve Requester is Unable to Find the Resource File WBTRVRES.DLL."},
    {1018, "The Application Attempted to Call Btrieve from a Btrieve CallBack Function."},
    {1019,
     "The Btrieve Engine Cancelled the Current Btrieve Operation at the Request of the "
     "Application's Btrieve CallBack Function."},
    {2001, "The Memory Allocation is Insufficient."},
    {2002, "The Option is Invalid or out of Range."},
    {2003, "The Requester Does Not Allow Local Access to the Specified File."},
    {2004, "SPX is Not Installed."},
    {2005, "An Incorrect Version of SPX is Installed."},
    {2006, "There is no Available SPX Conection."},
    {2007, "A Pointer Parameter is Invalid."},
};

constexpr CodeText kOperationNames[] = {
    {0, "Open"},
    {1, "Close"},
    {2, "Insert"},
    {3, "Update"},
    {4, "Delete"},
    {5, "Get Equal"},
    {6, "Get Next"},
    {7, "Get Previous"},
    {8, "Get Greater Than"},
    {9, "Get Greater Than Or Equal To"},
    {10, "Get Less Than"},
    {11, "Get Less Than Or Equal To"},
    {12, "Get First"},
    {13, "Get Last"},
    {14, "Create"},
    {15, "Stat"},
    {16, "Extend"},
    {17, "Set Directory"},
    {18, "Get Directory"},
    {19, "Begin Transaction"},
    {1019, "Begin Concurrent Transaction"},
    {20, "End Transaction"},
    {21, "Abort Transaction"},
    {22, "Get Position"},
    {23, "Get Direct"},
    {24, "Step Next"},
    {25, "Stop"},
    {26, "Version"},
    {27, "Unlock"},
    {28, "Reset"},
    {29, "Set Owner"},
    {30, "Clear Owner"},
    {31, "Create Supplemental Index"},
    {32, "Drop Supplemental Index"},
    {33, "Step First"},
    {34, "Step Last"},
    {35, "Step Previous"},
    {36, "Get Next Extended"},
    {37, "Get Previous Extended"},
    {38, "Step Next Extended"},
    {39, "Step Previous Extended"},
    {40, "Insert Extended"},
    {42, "Continuous"},
    {44, "Get Percentage"},
    {45, "Find Percentage"},
    {50, "Get Key"},
    {53, "Update Chunk"},
};

std::string Format(const char* format, int value) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

std::string StatusText(int status) {
    for (const CodeText& entry : kStatusTexts) {
        if (entry.code == status) {
            return std::string(entry.text) + " [" + std::to_string(status) + "]";
        }
    }
    return Format("Unknown Btrieve Error: %d", status);
}

std::string OperationName(int operation) {
    for (const CodeText& entry : kOperationNames) {
        if (entry.code == operation) {
            return entry.text;
        }
    }
    return Format("Unknown Btrieve Operation: %d", operation);
}

int StatusTextCount() {
    return static_cast<int>(std::size(kStatusTexts));
}
