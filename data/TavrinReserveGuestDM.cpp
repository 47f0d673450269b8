#include "TavrinReserveGuestDM.h"

namespace selvo::data {

TTavrinReserveGuestDM::TTavrinReserveGuestDM()
    : ZConnection(), SpareCardZQ(ZConnection, "SpareCardZQ", true),
      SpareCardZQemployeecardid(SpareCardZQ, "SpareCardZQemployeecardid", "employeecardid", FieldType::LargeInt, 0, "",
                                false),
      SpareCardZQemployeeid(SpareCardZQ, "SpareCardZQemployeeid", "employeeid", FieldType::LargeInt, 0, "", false),
      SpareCardZQcardcode(SpareCardZQ, "SpareCardZQcardcode", "cardcode", FieldType::LargeInt, 0, "Kod kartice", true),
      SpareCardZQname(SpareCardZQ, "SpareCardZQname", "name", FieldType::String, 10, "Kod", false),
      SpareCardZQactive(SpareCardZQ, "SpareCardZQactive", "active", FieldType::Boolean, 0, "", true),
      SpareCardZQcomment(SpareCardZQ, "SpareCardZQcomment", "comment", FieldType::String, 100, "", false),
      SpareCardZQemployeecardts(SpareCardZQ, "SpareCardZQemployeecardts", "employeecardts", FieldType::DateTime, 0, "",
                                false),
      SpareCardZQename(SpareCardZQ, "SpareCardZQename", "ename", FieldType::String, 51, "Zaposleni", false),
      GuestCardZQ(ZConnection, "GuestCardZQ", true),
      GuestCardZQemployeecardid(GuestCardZQ, "GuestCardZQemployeecardid", "employeecardid", FieldType::LargeInt, 0, "",
                                false),
      GuestCardZQemployeeid(GuestCardZQ, "GuestCardZQemployeeid", "employeeid", FieldType::LargeInt, 0, "", false),
      GuestCardZQcardcode(GuestCardZQ, "GuestCardZQcardcode", "cardcode", FieldType::LargeInt, 0, "Kod kartice", true),
      GuestCardZQname(GuestCardZQ, "GuestCardZQname", "name", FieldType::String, 10, "Kod", false),
      GuestCardZQactive(GuestCardZQ, "GuestCardZQactive", "active", FieldType::Boolean, 0, "", true),
      GuestCardZQcomment(GuestCardZQ, "GuestCardZQcomment", "comment", FieldType::String, 100, "", false),
      GuestCardZQemployeecardts(GuestCardZQ, "GuestCardZQemployeecardts", "employeecardts", FieldType::DateTime, 0, "",
                                false),
      GuestCardZQename(GuestCardZQ, "GuestCardZQename", "ename", FieldType::String, 51, "Gost", false),
      EmployeeZQ(ZConnection, "EmployeeZQ", true),
      EmployeeZQfirstname(EmployeeZQ, "EmployeeZQfirstname", "firstname", FieldType::String, 20, "Ime", true),
      EmployeeZQlastname(EmployeeZQ, "EmployeeZQlastname", "lastname", FieldType::String, 30, "Prezime", true),
      EmployeeZQpersonalidentificator(EmployeeZQ, "EmployeeZQpersonalidentificator", "personalidentificator",
                                      FieldType::String, 20, "JMBG", false),
      EmployeeZQemployeeid(EmployeeZQ, "EmployeeZQemployeeid", "employeeid", FieldType::LargeInt, 0, "", false),
      GuestZQ(ZConnection, "GuestZQ", true),
      GuestZQtimerguestid(GuestZQ, "GuestZQtimerguestid", "timerguestid", FieldType::LargeInt, 0, "", true),
      GuestZQfirstname(GuestZQ, "GuestZQfirstname", "firstname", FieldType::String, 20, "", true),
      GuestZQlastname(GuestZQ, "GuestZQlastname", "lastname", FieldType::String, 30, "", true),
      GuestZQpersonalidentificator(GuestZQ, "GuestZQpersonalidentificator", "personalidentificator", FieldType::String,
                                   20, "", false),
      GuestZQregcode(GuestZQ, "GuestZQregcode", "regcode", FieldType::String, 20, "", false),
      GuestZQstartdatetime(GuestZQ, "GuestZQstartdatetime", "startdatetime", FieldType::DateTime, 0, "", false),
      GuestZQenddatetime(GuestZQ, "GuestZQenddatetime", "enddatetime", FieldType::DateTime, 0, "", false),
      GuestZQdescription(GuestZQ, "GuestZQdescription", "description", FieldType::String, 255, "", false),
      GuestZQemployeecardid(GuestZQ, "GuestZQemployeecardid", "employeecardid", FieldType::LargeInt, 0, "", true),
      GuestZQtimerguestts(GuestZQ, "GuestZQtimerguestts", "timerguestts", FieldType::DateTime, 0, "", false),
      UpdateZQ(ZConnection, "UpdateZQ", false), TimerAccessTicketZQ(ZConnection, "TimerAccessTicketZQ", true),
      TimerAccessTicketZQtimeraccessticketid(TimerAccessTicketZQ, "TimerAccessTicketZQtimeraccessticketid",
                                             "timeraccessticketid", FieldType::LargeInt, 0, "", false),
      TimerAccessTicketZQtimeraccesspointid(TimerAccessTicketZQ, "TimerAccessTicketZQtimeraccesspointid",
                                            "timeraccesspointid", FieldType::LargeInt, 0, "", true),
      TimerAccessTicketZQemployeecardid(TimerAccessTicketZQ, "TimerAccessTicketZQemployeecardid", "employeecardid",
                                        FieldType::LargeInt, 0, "", true),
      TimerAccessTicketZQemployeeid(TimerAccessTicketZQ, "TimerAccessTicketZQemployeeid", "employeeid",
                                    FieldType::LargeInt, 0, "", false),
      TimerAccessTicketZQtimerguestid(TimerAccessTicketZQ, "TimerAccessTicketZQtimerguestid", "timerguestid",
                                      FieldType::LargeInt, 0, "", false),
      TimerAccessTicketZQactive(TimerAccessTicketZQ, "TimerAccessTicketZQactive", "active", FieldType::Boolean, 0, "",
                                true),
      TimerAccessTicketZQcomment(TimerAccessTicketZQ, "TimerAccessTicketZQcomment", "comment", FieldType::String, 100,
                                 "", false),
      TimerAccessTicketZQemployeecardcode(TimerAccessTicketZQ, "TimerAccessTicketZQemployeecardcode",
                                          "employeecardcode", FieldType::Float, 0, "", false),
      TimerAccessPointZQ(ZConnection, "TimerAccessPointZQ", false),
      TimerAccessPointZQtimeraccesspointid(TimerAccessPointZQ, "TimerAccessPointZQtimeraccesspointid",
                                           "timeraccesspointid", FieldType::LargeInt, 0, "", false),
      TimerAccessPointZQname(TimerAccessPointZQ, "TimerAccessPointZQname", "name", FieldType::String, 50, "", true),
      TimerAccessPointZQmacaddress(TimerAccessPointZQ, "TimerAccessPointZQmacaddress", "macaddress", FieldType::String,
                                   30, "", true),
      TimerAccessPointZQlocalip(TimerAccessPointZQ, "TimerAccessPointZQlocalip", "localip", FieldType::String, 30, "",
                                true),
      TimerAccessPointZQpublicip(TimerAccessPointZQ, "TimerAccessPointZQpublicip", "publicip", FieldType::String, 30,
                                 "", true),
      TimerAccessPointZQudpport(TimerAccessPointZQ, "TimerAccessPointZQudpport", "udpport", FieldType::LargeInt, 0, "",
                                true),
      TimerAccessPointZQtcpport(TimerAccessPointZQ, "TimerAccessPointZQtcpport", "tcpport", FieldType::LargeInt, 0, "",
                                true),
      TimerAccessPointZQcurrentdeviceindex(TimerAccessPointZQ, "TimerAccessPointZQcurrentdeviceindex",
                                           "currentdeviceindex", FieldType::LargeInt, 0, "", true),
      TimerAccessPointZQactive(TimerAccessPointZQ, "TimerAccessPointZQactive", "active", FieldType::Boolean, 0, "",
                               true),
      TimerAccessPointZQcomment(TimerAccessPointZQ, "TimerAccessPointZQcomment", "comment", FieldType::String, 100, "",
                                false),
      TimerAccessPointZQallaccess(TimerAccessPointZQ, "TimerAccessPointZQallaccess", "allaccess", FieldType::Boolean, 0,
                                  "", true),
      TimerAccessPointZQreadaccess(TimerAccessPointZQ, "TimerAccessPointZQreadaccess", "readaccess", FieldType::Boolean,
                                   0, "", true),
      TimerAccessPointZQoutdoor(TimerAccessPointZQ, "TimerAccessPointZQoutdoor", "outdoor", FieldType::Boolean, 0, "",
                                true),
      SpareCardDS(SpareCardZQ), GuestCardDS(GuestCardZQ), EmployeeDS(EmployeeZQ), GuestDS(GuestZQ)
{
    GuestZQ.SetSQL("SELECT * FROM timerguest AS tm \nWHERE tm.timerguestid = -1");
    TimerAccessTicketZQ.SetSQL(
        "SELECT tat.*, ROUND(ec.cardcode + 0) AS employeecardcode FROM timeraccessticket AS tat\n"
        "LEFT JOIN employeecard AS ec ON tat.employeecardid = ec.employeecardid\n"
        "WHERE tat.employeecardid = :IDEmployeeCard\n"
        "ORDER BY tat.timeraccesspointid");
    TimerAccessPointZQ.SetSQL("SELECT * FROM timeraccesspoint ORDER BY timeraccesspointid");
}

// Queries close before the connection goes; the members' reverse order of destruction does the rest.
TTavrinReserveGuestDM::~TTavrinReserveGuestDM()
{
    ZConnection.Disconnect();
}

} // namespace selvo::data
