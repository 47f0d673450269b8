#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DataModuleFixture.h"

namespace selvo::data::test {
namespace {

using ::testing::ElementsAre;

// Writes down what it hears, as "event:RecNo:State".
class Recorder final : public DataSourceListener
{
public:
    void RowsReloaded(TDataSource& source) override { Note("rows", source); }
    void CurrentRowChanged(TDataSource& source) override { Note("current", source); }
    void StateChanged(TDataSource& source) override { Note("state", source); }
    void FieldChanged(TDataSource& source, const TField& field) override { Note("field " + field.FieldName(), source); }

    std::vector<std::string> Take() { return std::exchange(Events, {}); }

    std::vector<std::string> Events;

private:
    void Note(const std::string& what, TDataSource& source)
    {
        Events.push_back(what + ":" + std::to_string(source.DataSet().RecNo()) + ":" +
                         std::to_string(static_cast<int>(source.DataSet().State())));
    }
};

class DataSourceTest : public DataModuleFixture
{
};

TEST_F(DataSourceTest, ListenersHearOpeningMovingEditingPostingAndClosing)
{
    SeedCards();
    Recorder recorder;
    Dm.SpareCardDS.AddListener(recorder);
    EXPECT_EQ(&Dm.SpareCardDS.DataSet(), &Dm.SpareCardZQ);
    Dm.SpareCardZQ.SetSQL(std::string(SpareCardListSql));
    EXPECT_TRUE(recorder.Take().empty()) << "a closed query that stays closed says nothing";
    Dm.SpareCardZQ.Open();
    EXPECT_THAT(recorder.Take(), ElementsAre("state:0:1", "rows:0:1", "current:0:1"));
    Dm.SpareCardZQ.Next();
    Dm.SpareCardZQ.Next(); // at the end: nothing changes
    EXPECT_THAT(recorder.Take(), ElementsAre("current:1:1"));
    Dm.SpareCardZQ.Edit();
    Dm.SpareCardZQemployeeid.SetAsInteger(12);
    Dm.SpareCardZQ.Post();
    EXPECT_THAT(recorder.Take(),
                ElementsAre("state:1:2", "field employeeid:1:2", "state:1:1", "rows:1:1", "current:1:1"));
    Dm.SpareCardZQ.SetSQL(std::string(SpareCardListSql)); // closes
    EXPECT_THAT(recorder.Take(), ElementsAre("state:-1:0", "rows:-1:0", "current:-1:0"));
    Dm.SpareCardDS.RemoveListener(recorder);
    Dm.SpareCardZQ.Open();
    EXPECT_TRUE(recorder.Take().empty());
}

TEST_F(DataSourceTest, AppendAndCancelTellTheGridThatARowCameAndWent)
{
    Recorder recorder;
    Dm.GuestDS.AddListener(recorder);
    Dm.GuestZQ.Open();
    recorder.Take();
    Dm.GuestZQ.Append();
    EXPECT_EQ(Dm.GuestZQ.RecordCount(), 1);
    EXPECT_THAT(recorder.Take(), ElementsAre("state:0:3", "rows:0:3", "current:0:3"));
    Dm.GuestZQ.Cancel();
    EXPECT_EQ(Dm.GuestZQ.RecordCount(), 0);
    EXPECT_THAT(recorder.Take(), ElementsAre("state:-1:1", "rows:-1:1", "current:-1:1"));
    Dm.GuestDS.RemoveListener(recorder);
}

// A listener that leaves while it is being told, and one registered after it, are both safe.
TEST_F(DataSourceTest, AListenerMayUnregisterWhileBeingNotified)
{
    struct Leaver final : DataSourceListener
    {
        int Heard = 0;
        void StateChanged(TDataSource& source) override
        {
            ++Heard;
            source.RemoveListener(*this);
        }
    } leaver;
    Recorder after;
    Dm.EmployeeDS.AddListener(leaver);
    Dm.EmployeeDS.AddListener(after);
    Dm.EmployeeZQ.SetSQL("SELECT * FROM employee");
    Dm.EmployeeZQ.Open();
    Dm.EmployeeZQ.Close();
    EXPECT_EQ(leaver.Heard, 1);
    EXPECT_EQ(after.Take().size(), 6u);
    Dm.EmployeeDS.RemoveListener(after);
}

} // namespace
} // namespace selvo::data::test
