// API: ready
#pragma once

#include <cstdint>
#include <string_view>

#include "DatabaseError.h"
#include "DateTime.h"
#include "FieldType.h"
#include "TDataSource.h"
#include "TField.h"
#include "TParam.h"
#include "TZConnection.h"
#include "TZQuery.h"

namespace selvo::data {

// The run-time texts of the two card lists, set by start-up before their first opening.
inline constexpr std::string_view SpareCardListSql =
    "SELECT ec.* , CONCAT(e.lastname,' ',e.firstname) ename FROM employeecard AS ec LEFT JOIN employee AS e ON "
    "ec.employeeid = e.employeeid WHERE ec.comment like '%%REZER%%' ORDER BY ec.name";
inline constexpr std::string_view GuestCardListSql =
    "SELECT ec.* , CONCAT(tg.lastname,' ',tg.firstname) ename FROM employeecard AS ec LEFT JOIN timerguest AS tg ON "
    "((ec.employeecardid= tg.employeecardid) AND (tg.enddatetime IS NULL)) WHERE ec.comment like '%%GOST%%' ORDER BY "
    "ec.name";

// The data module: the tool's single door to the database. One instance, `TavrinReserveGuestDM`,
// created by the program entry before the main window and passed by reference to whoever needs
// it; it owns the connection, the seven queries, their fields and the four data sources, whose
// addresses stay the same for its whole life. Destroying it closes the connection.
// UI thread only.
class TTavrinReserveGuestDM final
{
public:
    TTavrinReserveGuestDM();
    ~TTavrinReserveGuestDM();
    TTavrinReserveGuestDM(const TTavrinReserveGuestDM&) = delete;
    TTavrinReserveGuestDM& operator=(const TTavrinReserveGuestDM&) = delete;

    TZConnection ZConnection;

    // Spare card list (text set at start-up: SpareCardListSql).
    TZQuery SpareCardZQ;
    TField SpareCardZQemployeecardid;
    TField SpareCardZQemployeeid;
    TField SpareCardZQcardcode;
    TField SpareCardZQname;
    TField SpareCardZQactive;
    TField SpareCardZQcomment;
    TField SpareCardZQemployeecardts;
    TField SpareCardZQename;

    // Guest card list (text set at start-up: GuestCardListSql).
    TZQuery GuestCardZQ;
    TField GuestCardZQemployeecardid;
    TField GuestCardZQemployeeid;
    TField GuestCardZQcardcode;
    TField GuestCardZQname;
    TField GuestCardZQactive;
    TField GuestCardZQcomment;
    TField GuestCardZQemployeecardts;
    TField GuestCardZQename;

    // Employee search (text built before each search).
    TZQuery EmployeeZQ;
    TField EmployeeZQfirstname;
    TField EmployeeZQlastname;
    TField EmployeeZQpersonalidentificator;
    TField EmployeeZQemployeeid;

    // The visit row being registered (selects no row; one row is appended).
    TZQuery GuestZQ;
    TField GuestZQtimerguestid;
    TField GuestZQfirstname;
    TField GuestZQlastname;
    TField GuestZQpersonalidentificator;
    TField GuestZQregcode;
    TField GuestZQstartdatetime;
    TField GuestZQenddatetime;
    TField GuestZQdescription;
    TField GuestZQemployeecardid;
    TField GuestZQtimerguestts;

    // Ad hoc statements: set the text, ExecSQL(). Never opened.
    TZQuery UpdateZQ;

    // The tickets of one card (parameter IDEmployeeCard).
    TZQuery TimerAccessTicketZQ;
    TField TimerAccessTicketZQtimeraccessticketid;
    TField TimerAccessTicketZQtimeraccesspointid;
    TField TimerAccessTicketZQemployeecardid;
    TField TimerAccessTicketZQemployeeid;
    TField TimerAccessTicketZQtimerguestid;
    TField TimerAccessTicketZQactive;
    TField TimerAccessTicketZQcomment;
    TField TimerAccessTicketZQemployeecardcode;

    // All access points; read only ("Cannot modify a read-only dataset").
    TZQuery TimerAccessPointZQ;
    TField TimerAccessPointZQtimeraccesspointid;
    TField TimerAccessPointZQname;
    TField TimerAccessPointZQmacaddress;
    TField TimerAccessPointZQlocalip;
    TField TimerAccessPointZQpublicip;
    TField TimerAccessPointZQudpport;
    TField TimerAccessPointZQtcpport;
    TField TimerAccessPointZQcurrentdeviceindex;
    TField TimerAccessPointZQactive;
    TField TimerAccessPointZQcomment;
    TField TimerAccessPointZQallaccess;
    TField TimerAccessPointZQreadaccess;
    TField TimerAccessPointZQoutdoor;

    TDataSource SpareCardDS;
    TDataSource GuestCardDS;
    TDataSource EmployeeDS;
    TDataSource GuestDS;

    // Results windows pass to each other; all false or 0 at creation.
    bool EmployeeChosen = false;
    bool GuestAccepted = false;
    int32_t WorkMode = 0;
};

} // namespace selvo::data
